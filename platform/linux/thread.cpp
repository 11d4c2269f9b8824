// Threads on Linux: a detached std::thread.
#include "platform/thread.h"

#include <thread>

namespace Platform
{
    void start_thread(std::function<void()> body)
    {
        std::thread(std::move(body)).detach();
    }
}
