// The window on Linux: what only SDL can tell about the display the window is on.
#include <SDL.h>
#include <gtest/gtest.h>

#include "engine/window.h"
#include "platform/display.h"
#include "support/window_assets.h"

namespace
{
    // The frame loop sleeps one refresh period per frame: a rate of 0 from a display that
    // does not say (Xvfb) must not become an endless sleep.
    TEST(Window_On_Linux, RefreshRateIsTheMonitorsOrSixtyWhereUnknown)
    {
        Kestrane::Window window{"Window Test",
                                {333, 666},
                                {0, 0, 0, 1},
                                {1, 1, 1, 1},
                                {130, 130},
                                Test_Support::player_icon(),
                                Test_Support::status_font()};
        SDL_DisplayMode mode{};
        SDL_GetCurrentDisplayMode(SDL_GetWindowDisplayIndex(static_cast<SDL_Window*>(window.handle->native)), &mode);
        const int32_t rate = Platform::refresh_rate(*window.handle);
        if (mode.refresh_rate > 0)
            EXPECT_EQ(rate, mode.refresh_rate);
        else
            EXPECT_EQ(rate, 60);
    }
}
