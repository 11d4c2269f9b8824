// Error boxes through MessageBoxW, so that a message naming "日本語" reads right whatever
// the system's code page. A box for a window is centred on the screen by a hook that sees it
// activate on the calling thread, before it is ever drawn.
#include <windows.h>

#include "platform/display.h"
#include "platform/message_box.h"
#include "platform/windows/placement.h"
#include "platform/windows/wide.h"

namespace Platform
{
    namespace
    {
        thread_local HHOOK centring_hook = nullptr;

        LRESULT CALLBACK centre_on_activation(int code, WPARAM w, LPARAM l)
        {
            const HHOOK hook = centring_hook;
            if (code == HCBT_ACTIVATE)
            {
                center_on_primary_monitor(reinterpret_cast<HWND>(w));
                UnhookWindowsHookEx(hook);
                centring_hook = nullptr;
                return 0;
            }
            return CallNextHookEx(hook, code, w, l);
        }
    }

    void show_error_box(const std::string& caption, const std::string& message, const Display_Window* owner)
    {
        const UINT style = MB_OK | MB_ICONERROR;
        const std::wstring title = to_wide(caption);
        if (!owner)
        {
            MessageBoxW(nullptr, to_wide(message).c_str(), title.c_str(), style);
            return;
        }
        // A box owned by a window of another thread waits on that thread (it disables the owner
        // with a sent message), and a thread that failed stops the main thread first. Such a
        // box goes above every window instead.
        HWND window = static_cast<HWND>(owner->native);
        const bool same_thread = GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
        centring_hook = SetWindowsHookExW(WH_CBT, centre_on_activation, nullptr, GetCurrentThreadId());
        MessageBoxW(same_thread ? window : nullptr, to_wide(message).c_str(), title.c_str(),
                    same_thread ? style : style | MB_TOPMOST | MB_SETFOREGROUND);
        if (centring_hook)
        {
            UnhookWindowsHookEx(centring_hook);
            centring_hook = nullptr;
        }
    }
}
