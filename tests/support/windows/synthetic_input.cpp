// Synthetic input on Windows: the messages a keyboard and mouse leave in the window's queue,
// posted there with the parameters the system gives them, and the cursor moved with
// SetCursorPos. Posting, not SendInput: input sent to the desktop goes to the foreground
// window, which a test's window need not be.
#include "support/synthetic_input.h"

#include <windows.h>

#include <stdexcept>
#include <string>

namespace Test_Support
{
    namespace
    {
        HWND hwnd(const Platform::Display_Window& window)
        {
            return static_cast<HWND>(window.native);
        }

        WPARAM button_flag(uint32_t button)
        {
            switch (button)
            {
            case WM_LBUTTONDOWN: return MK_LBUTTON;
            case WM_RBUTTONDOWN: return MK_RBUTTON;
            case WM_MBUTTONDOWN: return MK_MBUTTON;
            default: throw std::invalid_argument("no button " + std::to_string(button));
            }
        }

        // The cursor in the window's client coordinates, as button messages carry it.
        LPARAM client_cursor(HWND window)
        {
            POINT point{};
            GetCursorPos(&point);
            ScreenToClient(window, &point);
            return MAKELPARAM(point.x, point.y);
        }
    }

    void move_cursor(int32_t x, int32_t y)
    {
        SetCursorPos(x, y);
    }

    void send_key(Platform::Display_Window& window, int32_t key, bool down, bool repeat)
    {
        // Repeat count 1, the key's scan code; bit 30 the key's state before, bit 31 up.
        LPARAM details = 1 | (LPARAM(MapVirtualKeyW(UINT(key), MAPVK_VK_TO_VSC)) << 16);
        if (!down || repeat)
            details |= LPARAM(1) << 30;
        if (!down)
            details |= LPARAM(1) << 31;
        PostMessageW(hwnd(window), down ? WM_KEYDOWN : WM_KEYUP, WPARAM(key), details);
    }

    void send_button(Platform::Display_Window& window, uint32_t button, bool down)
    {
        const WPARAM flag = button_flag(button); // the button is held in its down message only
        PostMessageW(hwnd(window), down ? button : button + 1, down ? flag : 0, client_cursor(hwnd(window)));
    }

    void send_wheel(Platform::Display_Window& window, int32_t notches)
    {
        POINT point{};
        GetCursorPos(&point); // the wheel's message carries screen coordinates
        PostMessageW(hwnd(window), WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(SHORT(notches * WHEEL_DELTA))),
                     MAKELPARAM(point.x, point.y));
    }

    void send_close(Platform::Display_Window& window)
    {
        PostMessageW(hwnd(window), WM_CLOSE, 0, 0);
    }

    void send_focus_loss(Platform::Display_Window& window)
    {
        PostMessageW(hwnd(window), WM_KILLFOCUS, 0, 0);
    }
}
