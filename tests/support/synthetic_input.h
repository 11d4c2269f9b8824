// Input for tests of a real window, delivered the way the system delivers a user's: the
// system cursor moved, keys and buttons pressed, the wheel turned, the window asked to close.
// One implementation per system, chosen by the build (SDL's event queue on Linux, the
// window's own message queue on Windows).
#pragma once

#include <cstdint>

#include "platform/display.h"
#include "support/pointer_lock.h"

namespace Test_Support
{
    // Main thread; puts the system cursor at screen pixel (x, y) before it returns, or throws
    // std::runtime_error when it does not get there within two seconds. Hold a Pointer_Lock
    // until the window has read it.
    void move_cursor(int32_t x, int32_t y);

    // Main thread; each queues one event that the window's next update reads. `key` is a
    // virtual-key code ('A'..'Z', 17 Ctrl, 27 Escape); a repeat is a key held down by the
    // keyboard's auto-repeat. `button` is a button's down message (513, 516, 519).
    void send_key(Platform::Display_Window& window, int32_t key, bool down, bool repeat = false);
    void send_button(Platform::Display_Window& window, uint32_t button, bool down);
    void send_wheel(Platform::Display_Window& window, int32_t notches);
    void send_close(Platform::Display_Window& window);
    // Another window takes the keyboard focus.
    void send_focus_loss(Platform::Display_Window& window);
}
