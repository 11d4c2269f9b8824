// The platform's own report of a failure it cannot recover from: a sentence a user can read.
// The layers above turn it into their own error type with the same text.
#pragma once

#include <string>

namespace Platform
{
    class Error
    {
    public:
        explicit Error(std::string text) : message(std::move(text)) {}

        std::string message; // a fixed English sentence ending with a full stop
    };
}
