// Placing windows of this program that the engine does not own (error boxes).
#pragma once

#include <windows.h>

namespace Platform
{
    // Any thread; does not block. Moves `window` to the middle of the primary monitor.
    void center_on_primary_monitor(HWND window);
}
