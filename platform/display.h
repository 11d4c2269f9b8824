// The native window with its OpenGL context, its input as window-procedure messages, the
// screen, the global cursor and the clock. One implementation per system (SDL2 here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Platform
{
    // Message numbers of the window procedure. Keys carry Windows virtual-key codes
    // ('A'..'Z' = 65..90, Ctrl = 17, Escape = 27); buttons are named by their down message.
    enum Message_Id : uint32_t
    {
        message_move = 3,
        message_size = 5,
        message_set_focus = 7,
        message_kill_focus = 8,
        message_close = 16,
        message_key_down = 256,
        message_key_up = 257,
        message_left_down = 513,
        message_left_up = 514,
        message_right_down = 516,
        message_right_up = 517,
        message_middle_down = 519,
        message_middle_up = 520,
        message_wheel = 522, // value: signed wheel units, 120 per notch
    };

    struct Message
    {
        uint32_t id = 0;   // a Message_Id
        int32_t value = 0; // virtual-key code for keys, wheel units for the wheel, else 0
    };

    struct Rect
    {
        int32_t left = 0; // screen pixels
        int32_t top = 0;
        int32_t right = 0;
        int32_t bottom = 0;
    };

    // A borderless, initially hidden window with a double-buffered GL context that is
    // current on the creating thread. Main thread only.
    class Display_Window
    {
    public:
        // Blocks until the window and context exist; throws Platform::Error when no
        // window or context can be made. Tries 8-sample multisampling, then none.
        Display_Window(const std::string& title, int32_t x, int32_t y, int32_t width, int32_t height, int32_t samples);
        ~Display_Window();
        Display_Window(const Display_Window&) = delete;
        Display_Window& operator=(const Display_Window&) = delete;

        void* native = nullptr;     // SDL_Window*
        void* gl_context = nullptr; // SDL_GLContext
        Rect rect;                  // last known window rectangle, screen pixels
        int32_t samples = 0;        // multisample count the context got (0 without)
    };

    // Main thread; does not block; throws nothing. Sets the window's icon from a BMP image in
    // memory; an image the system cannot read leaves the default icon.
    void set_window_icon(Display_Window& window, const unsigned char* bmp, std::size_t size);

    // Main thread; does not block. Makes the window visible / invisible.
    void show_window(Display_Window& window);
    void hide_window(Display_Window& window);

    // Main thread; returns when the window's position and size are those given (its
    // rectangle reads them at once). Throws nothing.
    void move_window(Display_Window& window, int32_t x, int32_t y, int32_t width, int32_t height);

    // Main thread; the window's rectangle in screen pixels.
    Rect get_window_rect(const Display_Window& window);

    // Main thread; presents the back buffer. Does not wait for the display refresh.
    void swap_buffers(Display_Window& window);

    // Main thread; does not block; throws nothing. The refresh rate in Hz of the monitor
    // that shows the window (the one holding its centre), 60 where the system does not say.
    int32_t refresh_rate(const Display_Window& window);

    // Main thread; does not block. Takes the next message for this window, false when none.
    bool poll_message(Display_Window& window, Message& message);

    // Main thread; keeps mouse messages coming while the cursor is outside the window
    // (on) or stops that (off). The system cursor stays hidden over the window. On X11 this
    // is a grab of the whole screen's pointer: hold it only while a button is down.
    void capture_mouse(Display_Window& window, bool on);

    // Any thread; the cursor in screen pixels.
    void get_global_cursor(int32_t& x, int32_t& y);

    // Any thread; the primary monitor's size in pixels (read from the system each call). On
    // a desktop of several monitors this is one of them, not the whole desktop.
    void get_screen_size(int32_t& width, int32_t& height);

    // Any thread; the primary monitor's top-left corner in desktop pixels (read each call).
    void get_screen_position(int32_t& x, int32_t& y);

    // Any thread; monotonic seconds since an arbitrary origin.
    double now_seconds();

    // Any thread; blocks until now_seconds() reaches `deadline`, returning at once when it
    // already has. Throws nothing.
    void sleep_until(double deadline);

    // Any thread; does not block. Centres the top-level window titled `title` on the
    // primary monitor; false while no such window exists yet.
    bool center_window_by_title(const std::string& title);
}
