// Threads that run on their own until their body returns: nobody joins them, so whoever
// starts one keeps its own count of those still running. One implementation per system,
// chosen by the build.
#pragma once

#include <functional>

namespace Platform
{
    // Any thread; does not block. Runs `body` on a new thread that is never joined. Throws
    // std::system_error when the system cannot start a thread; `body` has then not run.
    void start_thread(std::function<void()> body);
}
