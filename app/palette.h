// The player's colours, one definition for the screen, the footer and the browser.
#pragma once

#include "engine/math.h"

namespace Corvane
{
    constexpr Kestrane::Color black{0.0f, 0.0f, 0.0f, 1.0f};
    constexpr Kestrane::Color grey{0.5f, 0.5f, 0.5f, 1.0f};
    constexpr Kestrane::Color light_grey{0.7f, 0.7f, 0.7f, 1.0f};
    constexpr Kestrane::Color white{1.0f, 1.0f, 1.0f, 1.0f};
}
