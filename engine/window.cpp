// Kestrane::Window: construction, the per-frame update and the window procedure.
#include "engine/window.h"

#include <algorithm>

#include <GL/glew.h>

#include "engine/exception.h"
#include "engine/gl_name.h"
#include "platform/display.h"
#include "platform/error.h"

namespace Kestrane
{
    namespace
    {
        Window_Handle open_window(const std::string& title, Int2 position, Int2 size, int32_t samples)
        {
            try
            {
                return std::make_shared<Platform::Display_Window>(title, position.x, position.y, size.x, size.y,
                                                                  samples);
            }
            catch (const Platform::Error& error)
            {
                throw Exception(error.message);
            }
        }
    }

    Window::Window(const std::string& window_title, Int2 initial_size, Color initial_clear_color,
                   Color initial_cursor_color, Int2 initial_minimum_size, Embedded_Data icon, Embedded_Data status_face)
        : title(window_title), minimum_size(initial_minimum_size), size(initial_size), clear_color(initial_clear_color),
          cursor_color(initial_cursor_color), status_font(status_face)
    {
        const Int2 screen = get_screen_resolution();
        const Int2 origin = get_screen_position();
        position = {origin.x + screen.x / 2 - size.x / 2, origin.y + screen.y / 2 - size.y / 2};
        projection = Matrix::projection(float(size.x), float(size.y));
        previous_time = Platform::now_seconds();
        handle = open_window(title, position, size, samples);
        Platform::set_window_icon(*handle, icon.data, icon.size);
        glViewport(0, 0, size.x, size.y);
    }

    Window::~Window()
    {
        // Shared programs, vertex arrays and overlays belong to this context: they must not
        // call GL once it is gone, and a later window builds its own.
        release_shared_gl_objects();
    }

    bool Window::update()
    {
        stop_here_if_fatal_error();
        Platform::get_global_cursor(cursor.x, cursor.y);
        cursor_in_window = {cursor.x - position.x, cursor.y - position.y};
        cursor_delta = {cursor.x - previous_cursor.x, cursor.y - previous_cursor.y};
        previous_cursor = cursor;

        wheel = 0;

        const bool dragging = held[button_left] || held[button_right];
        if (dragging || cursor_delta != Int2{})
            cursor_color.a = 1.0f;
        else if (cursor_color.a > 0.0f)
            cursor_color.a -= delta_time * 0.5f;
        else
            cursor_color.a = 0.0f;

        draw_overlays();
        Platform::swap_buffers(*handle);
        glClearColor(clear_color.r, clear_color.g, clear_color.b, clear_color.a);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

        if (held[key_ctrl])
        {
            if (held[button_left])
                move_and_size({position.x + cursor_delta.x, position.y + cursor_delta.y}, size);
            else if (held[button_right])
                move_and_size(position, clamped_size({size.x + cursor_delta.x, size.y + cursor_delta.y}));
        }

        if (pressed[key_escape])
            running = false;
        pressed.fill(false);

        Platform::Message message;
        while (Platform::poll_message(*handle, message))
            handle_message(message);

        const double now = Platform::now_seconds();
        delta_time = float(now - previous_time);
        previous_time = now;

        if (!shown)
        {
            Platform::show_window(*handle);
            shown = true;
        }
        return running;
    }

    void Window::hide()
    {
        Platform::hide_window(*handle);
    }

    Int2 Window::clamped_size(Int2 wanted) const
    {
        const Int2 screen = get_screen_resolution();
        const auto clamp = [](int32_t value, int32_t low, int32_t high)
        { return value < low ? low : std::min(value, high); };
        return {clamp(wanted.x, minimum_size.x, screen.x), clamp(wanted.y, minimum_size.y, screen.y)};
    }

    void Window::move_and_size(Int2 new_position, Int2 new_size)
    {
        Platform::move_window(*handle, new_position.x, new_position.y, new_size.x, new_size.y);
        handle_message({Platform::message_move, 0});
        handle_message({Platform::message_size, 0});
    }

    void Window::handle_message(const Platform::Message& message)
    {
        const int32_t value = message.value;
        switch (message.id)
        {
        case Platform::message_move:
        {
            const Platform::Rect rect = Platform::get_window_rect(*handle);
            position = {rect.left, rect.top};
            break;
        }
        case Platform::message_size: resized(Platform::get_window_rect(*handle)); break;
        case Platform::message_set_focus: focused = true; break;
        case Platform::message_kill_focus:
            // Without the capture a button's release goes to the window that took the focus
            // (SDL on X11 does not let go of buttons as it does of keys).
            focused = false;
            held[button_left] = held[button_right] = held[button_middle] = false;
            Platform::capture_mouse(*handle, false);
            break;
        case Platform::message_close: running = false; break;
        case Platform::message_key_down:
            // Auto-repeat arrives as a key-down of a key already held: not a new press.
            if (value > 0 && value < 256 && !held[value])
                pressed[value] = held[value] = true;
            break;
        case Platform::message_key_up:
            if (value > 0 && value < 256)
                held[value] = false;
            break;
        case Platform::message_left_down:
        case Platform::message_right_down:
        case Platform::message_middle_down:
            // A drag that starts here keeps its mouse messages outside the window. On X11
            // capture is a grab of the whole screen: hold it no longer than the buttons.
            pressed[message.id] = held[message.id] = true;
            Platform::capture_mouse(*handle, true);
            break;
        case Platform::message_left_up:
        case Platform::message_right_up:
        case Platform::message_middle_up:
            held[message.id - 1] = false;
            if (!held[button_left] && !held[button_right] && !held[button_middle])
                Platform::capture_mouse(*handle, false);
            break;
        case Platform::message_wheel: wheel += value / 120; break;
        default: break;
        }
    }

    void Window::resized(const Platform::Rect& rect)
    {
        // A minimised window, or one wholly left of or above the screen's origin, reports
        // no usable size: keep the last one.
        if (rect.right <= 0 || rect.bottom <= 0)
            return;
        size = {rect.right - rect.left, rect.bottom - rect.top};
        projection = Matrix::projection(float(size.x), float(size.y));
        glViewport(0, 0, size.x, size.y);
    }
}
