// The window's own overlays, drawn over everything else before each swap: a 3 x 3 software
// cursor in place of the hidden system cursor, and the status text in the top-left corner.
#include <memory>

#include "engine/font.h"
#include "engine/gl_name.h"
#include "engine/rectangle.h"
#include "engine/text.h"
#include "engine/window.h"

namespace Kestrane
{
    namespace
    {
        constexpr uint32_t status_pixel_size = 13;
        constexpr Color status_color{1.0f, 16.0f / 255.0f, 50.0f / 255.0f, 1.0f};

        // Made at the first draw in a GL context and kept until exit; the members go in
        // reverse order, the text before its font.
        struct Overlays
        {
            std::unique_ptr<Rectangle> cursor;
            std::unique_ptr<Font> status_font;
            std::unique_ptr<Text> status_text;
            const Window* window = nullptr;
            uint32_t context = 0; // gl_context_generation() when made
        };

        Overlays& overlays()
        {
            static Overlays overlays;
            return overlays;
        }

        void make_overlays(Overlays& made, Window* window)
        {
            made.status_text.reset();
            made.cursor = std::make_unique<Rectangle>(window, Color{0, 0, 0, 0}, Int2{0, 0}, Float2{3, 3});
            const Embedded_Data font = window->status_font;
            made.status_font = std::make_unique<Font>(window, font.data, font.size, status_pixel_size);
            made.status_text =
                std::make_unique<Text>(window, made.status_font.get(), "", Float2{0, 0}, status_color, 0);
            made.window = window;
            made.context = gl_context_generation();
        }
    }

    void Window::draw_overlays()
    {
        Overlays& made = overlays();
        if (!made.cursor || made.window != this || made.context != gl_context_generation())
            make_overlays(made, this);

        made.cursor->color = cursor_color;
        made.cursor->position = {static_cast<float>(cursor_in_window.x), static_cast<float>(cursor_in_window.y)};
        const bool dragging = held[button_left] || held[button_right];
        if (!(held[key_ctrl] && dragging)) // a Ctrl-drag moves the window, not the cursor
            made.cursor->draw();

        if (made.status_text->string != status_text)
            made.status_text->set_string(status_text);
        made.status_text->draw();
    }
}
