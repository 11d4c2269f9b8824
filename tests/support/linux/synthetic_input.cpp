// Synthetic input on Linux: SDL events pushed onto the queue the window reads, and the
// pointer warped on the X screen.
#include "support/synthetic_input.h"

#include <SDL.h>

#include <stdexcept>
#include <string>

namespace Test_Support
{
    namespace
    {
        SDL_Keycode keycode(int32_t key)
        {
            if (key >= 'A' && key <= 'Z')
                return SDLK_a + (key - 'A');
            if (key >= '0' && key <= '9')
                return SDLK_0 + (key - '0');
            switch (key)
            {
            case 17: return SDLK_LCTRL;
            case 27: return SDLK_ESCAPE;
            case 32: return SDLK_SPACE;
            default: throw std::invalid_argument("no test key for virtual key " + std::to_string(key));
            }
        }

        Uint8 sdl_button(uint32_t button)
        {
            switch (button)
            {
            case Platform::message_left_down: return SDL_BUTTON_LEFT;
            case Platform::message_right_down: return SDL_BUTTON_RIGHT;
            case Platform::message_middle_down: return SDL_BUTTON_MIDDLE;
            default: throw std::invalid_argument("no button " + std::to_string(button));
            }
        }
    }

    void move_cursor(int32_t x, int32_t y)
    {
        // A warp was once seen not to arrive in a full parallel run, the pointer staying where
        // it was; the window reads the pointer from the server, so wait until it is there.
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            SDL_WarpMouseGlobal(x, y);
            int32_t at_x = 0, at_y = 0;
            Platform::get_global_cursor(at_x, at_y);
            if (at_x == x && at_y == y)
                return;
            SDL_Delay(20);
        }
        throw std::runtime_error("the pointer did not move to " + std::to_string(x) + ", " + std::to_string(y));
    }

    void send_key(Platform::Display_Window&, int32_t key, bool down, bool repeat)
    {
        SDL_Event event{};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.keysym.sym = keycode(key);
        event.key.repeat = repeat ? 1 : 0;
        SDL_PushEvent(&event);
    }

    void send_button(Platform::Display_Window&, uint32_t button, bool down)
    {
        SDL_Event event{};
        event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        event.button.button = sdl_button(button);
        SDL_PushEvent(&event);
    }

    void send_wheel(Platform::Display_Window&, int32_t notches)
    {
        SDL_Event event{};
        event.type = SDL_MOUSEWHEEL;
        event.wheel.y = notches;
        SDL_PushEvent(&event);
    }

    void send_close(Platform::Display_Window&)
    {
        SDL_Event event{};
        event.type = SDL_QUIT;
        SDL_PushEvent(&event);
    }

    void send_focus_loss(Platform::Display_Window& window)
    {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
        event.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(window.native));
        SDL_PushEvent(&event);
    }
}
