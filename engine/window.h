// The program's one window: borderless, with its GL context, the per-frame input snapshot,
// frame timing, Ctrl-drag moving and resizing, and the overlays it draws itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/error.h"
#include "engine/math.h"

namespace Platform
{
    struct Message;
    struct Rect;
}

namespace Kestrane
{
    constexpr int key_ctrl = 17;
    constexpr int key_escape = 27;
    constexpr int button_left = 513;
    constexpr int button_right = 516;
    constexpr int button_middle = 519;
    constexpr int input_count = 520;

    // Bytes the application embeds, alive for the whole process.
    struct Embedded_Data
    {
        const unsigned char* data = nullptr;
        std::size_t size = 0; // bytes
    };

    class Window
    {
    public:
        // Creates the window hidden and centred on the primary screen, with its GL context
        // current and GLEW loaded, `icon` (a BMP image) as its icon and `status_font` (a
        // TrueType face) for the status overlay. Main thread only.
        Window(const std::string& title, Int2 size, Color clear_color, Color cursor_color, Int2 minimum_size,
               Embedded_Data icon, Embedded_Data status_font);
        ~Window();
        Window(const Window&) = delete;            // drawing objects and threads keep a
        Window& operator=(const Window&) = delete; // pointer: the window never moves

        // Presents the last frame, clears, applies Ctrl-drag, pumps input and times the
        // frame. Returns false once Escape was pressed or a close was requested.
        bool update();

        // The window procedure: one message of the platform's pump.
        void handle_message(const Platform::Message& message);

        // Makes the window invisible at once; it stays alive and current.
        void hide();

        // Moves and resizes now; position, size, projection and viewport are current on return.
        void move_and_size(Int2 new_position, Int2 new_size);

        // Software cursor and status text, drawn every update before the swap.
        void draw_overlays();

        // `wanted` raised to the minimum size, or else lowered to the screen size.
        Int2 clamped_size(Int2 wanted) const;

        // Size, projection and viewport from a new window rectangle.
        void resized(const Platform::Rect& rect);

        Window_Handle handle;
        std::string title;
        int32_t samples = 8;                     // multisample count asked for
        int32_t wheel = 0;                       // wheel notches received during the last pump
        Int2 minimum_size;                       // lower bound for Ctrl + right-drag resizing, pixels
        Int2 size;                               // width, height in pixels (the whole window is client area)
        Int2 position;                           // top-left corner in screen pixels
        Int2 cursor;                             // cursor in screen pixels at the last update
        Int2 cursor_in_window;                   // cursor - position
        Int2 previous_cursor;                    // cursor of the update before
        Int2 cursor_delta;                       // cursor - previous cursor
        Color clear_color;                       // back buffer is cleared to this
        Color cursor_color;                      // software cursor; alpha is its fade level
        Matrix projection;                       // pixels to clip space, y down
        double previous_time = 0.0;              // clock at the end of the last update, seconds
        float delta_time = 0.0f;                 // duration of the last frame, seconds
        bool running = true;                     // false after Escape or a close request
        bool focused = true;                     // has keyboard focus
        bool shown = false;                      // made visible after the first frame
        std::array<bool, input_count> pressed{}; // went down during the last pump
        std::array<bool, input_count> held{};    // down now
        std::string status_text;                 // shown top-left by the status overlay
        Embedded_Data status_font;               // TrueType face of the status overlay
    };
}
