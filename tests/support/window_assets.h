// The icon and status font the player hands its window, for tests and benchmarks that make
// a window of their own (they link the assets).
#pragma once

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
}
