// Records error boxes for the tests (see message_box_recorder.h).
#include "doubles/message_box_recorder.h"

#include <cstdio>
#include <mutex>

#include "platform/message_box.h"

namespace
{
    std::mutex& lock()
    {
        static std::mutex m;
        return m;
    }

    std::vector<Message_Box_Recorder::Shown>& boxes()
    {
        static std::vector<Message_Box_Recorder::Shown> b;
        return b;
    }
}

namespace Platform
{
    void show_error_box(const std::string&, const std::string& message, const Display_Window* owner)
    {
        std::lock_guard guard(lock());
        boxes().push_back({message, owner != nullptr});
        std::fprintf(stderr, "[Corvane Error] %s\n", message.c_str());
        std::fflush(stderr);
    }
}

namespace Message_Box_Recorder
{
    std::vector<Shown> shown()
    {
        std::lock_guard guard(lock());
        return boxes();
    }

    void clear()
    {
        std::lock_guard guard(lock());
        boxes().clear();
    }
}
