// Modal error boxes with the error icon and an OK button, captioned as the caller says.
#pragma once

#include <string>

namespace Platform
{
    class Display_Window;

    // Any thread; blocks until the user presses OK; throws nothing. A box with an `owner`
    // stays above that window and is centred on the screen; a box without one (null) is
    // placed by the system.
    void show_error_box(const std::string& caption, const std::string& message, const Display_Window* owner);
}
