// The one exception type of Corvane. Every fatal failure carries a fixed English sentence;
// the entry point or Kestrane::show_fatal_error puts it in front of the user.
#pragma once

#include <string>

namespace Kestrane
{
    // Deliberately outside the std::exception hierarchy, so a handler for standard
    // exceptions never swallows it.
    class Exception
    {
    public:
        explicit Exception(std::string text) : message(std::move(text)) {}
        std::string get_message() const { return message; }

        std::string message;
    };
}
