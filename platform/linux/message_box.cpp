// Error boxes through SDL2's simple message box, which works from any thread and needs no
// initialised video subsystem.
#include <SDL.h>

#include "platform/display.h"
#include "platform/message_box.h"

namespace Platform
{
    void show_error_box(const std::string& message, const Display_Window* owner)
    {
        SDL_Window* parent = owner ? static_cast<SDL_Window*>(owner->native) : nullptr;
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Corvane Error", message.c_str(), parent);
    }
}
