// Threads on Windows: CreateThread, its handle closed at once. Not a detached std::thread:
// the MinGW threads library behind it was seen to lose a thread that was detached right
// after it was made, so that its body never ran and whoever waited for it waited forever.
#include "platform/thread.h"

#include <windows.h>

#include <memory>
#include <system_error>

namespace Platform
{
    namespace
    {
        DWORD WINAPI run(void* parameter)
        {
            const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
            (*body)();
            return 0;
        }
    }

    void start_thread(std::function<void()> body)
    {
        auto owned = std::make_unique<std::function<void()>>(std::move(body));
        HANDLE thread = CreateThread(nullptr, 0, run, owned.get(), 0, nullptr);
        if (!thread)
            throw std::system_error(int(GetLastError()), std::system_category(), "CreateThread");
        owned.release(); // the thread owns it now
        CloseHandle(thread);
    }
}
