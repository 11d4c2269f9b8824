// Error boxes through SDL2's simple message box, which works from any thread and needs no
// initialised video subsystem. SDL puts an owned box beside its owner; a thread of its own
// finds the box by its caption and centres it on the screen.
#include <SDL.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/display.h"
#include "platform/message_box.h"

namespace Platform
{
    namespace
    {
        // Polls gently, not in a tight loop, until the box is centred or has been closed.
        void center_when_shown(const std::string& caption, const std::atomic<bool>& closed)
        {
            while (!closed && !center_window_by_title(caption))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    void show_error_box(const std::string& caption, const std::string& message, const Display_Window* owner)
    {
        if (!owner)
        {
            SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption.c_str(), message.c_str(), nullptr);
            return;
        }
        std::atomic<bool> closed{false};
        std::thread centring(center_when_shown, std::cref(caption), std::cref(closed));
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption.c_str(), message.c_str(),
                                 static_cast<SDL_Window*>(owner->native));
        closed = true;
        centring.join();
    }
}
