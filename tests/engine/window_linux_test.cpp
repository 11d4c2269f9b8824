// The window on Linux: what only SDL can tell about the display the window is on, and the
// video driver SDL is made to use whatever the user's environment asks for.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engine/window.h"
#include "platform/display.h"
#include "support/window_assets.h"

namespace
{
    // The frame loop sleeps one refresh period per frame: a rate of 0 from a display that
    // does not say (Xvfb) must not become an endless sleep.
    TEST(Window_On_Linux, RefreshRateIsTheMonitorsOrSixtyWhereUnknown)
    {
        Kestrane::Window window = Test_Support::test_window("Window Test", {333, 666});
        SDL_DisplayMode mode{};
        SDL_GetCurrentDisplayMode(SDL_GetWindowDisplayIndex(static_cast<SDL_Window*>(window.handle->native)), &mode);
        const int32_t rate = Platform::refresh_rate(*window.handle);
        if (mode.refresh_rate > 0)
            EXPECT_EQ(rate, mode.refresh_rate);
        else
            EXPECT_EQ(rate, 60);
    }

    // With a Cyrillic or Greek layout the letter keys give letters of that script; the
    // commands must still answer to the keys where the US letters are, as on Windows, while
    // a Latin layout keeps its own letters (AZERTY's A sits where US has Q).
    TEST(Window_On_Linux, LetterKeysOfAnotherScriptAnswerToTheirPlacesLatinOnesToTheirLetters)
    {
        Kestrane::Window window = Test_Support::test_window("Window Test", {333, 666});
        window.update();
        const auto press = [](SDL_Keycode sym, SDL_Scancode place)
        {
            SDL_Event event{};
            event.type = SDL_KEYDOWN;
            event.key.keysym.sym = sym;
            event.key.keysym.scancode = place;
            SDL_PushEvent(&event);
        };
        press(0x447, SDL_SCANCODE_X); // Cyrillic che
        press(0x3C3, SDL_SCANCODE_S); // Greek sigma
        press(SDLK_a, SDL_SCANCODE_Q);
        window.update();
        EXPECT_TRUE(window.pressed['X']);
        EXPECT_TRUE(window.pressed['S']);
        EXPECT_TRUE(window.pressed['A']);
        EXPECT_FALSE(window.pressed['Q']);
    }

    // An X server that turns the first connection away (as a busy one does) must not leave
    // the screen unknown for the rest of the run. Each test runs in a process of its own,
    // so the first ask here is the process's first.
    TEST(Window_On_Linux, ScreenIsFoundOnceTheServerTakesAConnectionAfterRefusingOne)
    {
        const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
        ::setenv("DISPLAY", ":65000", 1); // no server there
        int32_t width = -1, height = -1;
        Platform::get_screen_size(width, height);
        ::setenv("DISPLAY", display.c_str(), 1);
        if (width != 0)
            GTEST_SKIP() << "the connection was open before this test";
        Platform::get_screen_size(width, height);
        EXPECT_GT(width, 0);
        EXPECT_GT(height, 0);
    }

    // Users of Wayland desktops often export SDL_VIDEODRIVER=wayland for games. The cursor,
    // screen and placement code talks to the X server, so the window must be an X window
    // (through XWayland there) rather than fail to open or be invisible to that code.
    // Each test runs in a process of its own, so this one starts SDL's video itself.
    TEST(Window_On_Linux, OpensOnTheXServerWhateverVideoDriverTheEnvironmentNames)
    {
        ::setenv("SDL_VIDEODRIVER", "wayland", 1);
        Kestrane::Window window = Test_Support::test_window("Window Test", {333, 666});
        ::unsetenv("SDL_VIDEODRIVER");
        ASSERT_NE(SDL_GetCurrentVideoDriver(), nullptr);
        EXPECT_EQ(std::string(SDL_GetCurrentVideoDriver()), "x11");
    }
}
