// The icon and status font the player hands its window, and a window made with them, for
// tests and benchmarks that make a window of their own (they link the assets).
#pragma once

#include <string>

#include "assets/assets.h"
#include "engine/window.h"

namespace Test_Support
{
    inline Kestrane::Embedded_Data player_icon()
    {
        return {Corvane::Assets::icon.data, Corvane::Assets::icon.size};
    }

    inline Kestrane::Embedded_Data status_font()
    {
        return {Corvane::Assets::comfortaa_regular.data, Corvane::Assets::comfortaa_regular.size};
    }

    // A black window with a white cursor, as the player makes it; context current.
    inline Kestrane::Window test_window(const std::string& title, Kestrane::Int2 size,
                                        Kestrane::Int2 minimum_size = {130, 130})
    {
        return Kestrane::Window{title, size, {0, 0, 0, 1}, {1, 1, 1, 1}, minimum_size, player_icon(), status_font()};
    }
}
