// The window's input snapshot, Ctrl-drag, projection and loop end, driven by synthetic SDL
// events on a real window (under Xvfb in the test run).
#include <SDL.h>
#include <gtest/gtest.h>

#include "engine/window.h"
#include "platform/display.h"
#include "support/window_assets.h"

namespace
{
    using Kestrane::Int2;

    struct Window_Test : testing::Test
    {
        Kestrane::Window window{"Window Test",
                                {333, 666},
                                {0, 0, 0, 1},
                                {1, 1, 1, 1},
                                {130, 130},
                                Test_Support::player_icon(),
                                Test_Support::status_font()};

        void SetUp() override { window.update(); }

        static void push_key(SDL_Keycode key, bool down, bool repeat = false)
        {
            SDL_Event event{};
            event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
            event.key.keysym.sym = key;
            event.key.repeat = repeat ? 1 : 0;
            SDL_PushEvent(&event);
        }

        static void push_button(Uint8 button, bool down)
        {
            SDL_Event event{};
            event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
            event.button.button = button;
            SDL_PushEvent(&event);
        }

        static void push_wheel(int notches)
        {
            SDL_Event event{};
            event.type = SDL_MOUSEWHEEL;
            event.wheel.y = notches;
            SDL_PushEvent(&event);
        }

        // Puts the cursor at a screen position and lets one update read it.
        void cursor_to(int x, int y)
        {
            SDL_WarpMouseGlobal(x, y);
            window.update();
        }
    };

    TEST_F(Window_Test, KeyIsPressedForOneUpdateAndHeldUntilReleased)
    {
        push_key(SDLK_s, true);
        window.update();
        EXPECT_TRUE(window.pressed['S']);
        EXPECT_TRUE(window.held['S']);

        push_key(SDLK_s, true, true); // auto-repeat
        window.update();
        EXPECT_FALSE(window.pressed['S']);
        EXPECT_TRUE(window.held['S']);

        push_key(SDLK_s, false);
        window.update();
        EXPECT_FALSE(window.pressed['S']);
        EXPECT_FALSE(window.held['S']);

        push_key(SDLK_s, true);
        window.update();
        EXPECT_TRUE(window.pressed['S']) << "a new press after the release";
    }

    TEST_F(Window_Test, LettersAndModifiersUseVirtualKeyCodes)
    {
        push_key(SDLK_a, true);
        push_key(SDLK_z, true);
        push_key(SDLK_LCTRL, true);
        window.update();
        EXPECT_TRUE(window.held[65]);
        EXPECT_TRUE(window.held[90]);
        EXPECT_TRUE(window.held[Kestrane::key_ctrl]);
        push_key(SDLK_LCTRL, false);
        window.update();
        EXPECT_FALSE(window.held[Kestrane::key_ctrl]);
    }

    TEST_F(Window_Test, WheelNotchesAddUpWithinAnUpdateAndResetOnTheNext)
    {
        push_wheel(1);
        push_wheel(2);
        push_wheel(-1);
        window.update();
        EXPECT_EQ(window.wheel, 2);
        window.update();
        EXPECT_EQ(window.wheel, 0);
    }

    TEST_F(Window_Test, MouseButtonsLandOnTheirDownMessageNumbers)
    {
        push_button(SDL_BUTTON_LEFT, true);
        push_button(SDL_BUTTON_RIGHT, true);
        push_button(SDL_BUTTON_MIDDLE, true);
        window.update();
        for (int button : {513, 516, 519})
        {
            EXPECT_TRUE(window.pressed[button]) << button;
            EXPECT_TRUE(window.held[button]) << button;
        }
        push_button(SDL_BUTTON_LEFT, false);
        push_button(SDL_BUTTON_RIGHT, false);
        push_button(SDL_BUTTON_MIDDLE, false);
        window.update();
        for (int button : {513, 516, 519})
            EXPECT_FALSE(window.held[button]) << button;
    }

    TEST_F(Window_Test, ConstructionCentresTheWindowWithItsProjection)
    {
        const Int2 screen = Kestrane::get_screen_resolution();
        EXPECT_EQ(window.position, (Int2{screen.x / 2 - 333 / 2, screen.y / 2 - 666 / 2}));
        EXPECT_EQ(window.size, (Int2{333, 666}));
        const Kestrane::Matrix& m = window.projection;
        EXPECT_FLOAT_EQ(m.at(0, 0), 2.0f / 333.0f);
        EXPECT_FLOAT_EQ(m.at(1, 1), -2.0f / 666.0f);
        EXPECT_FLOAT_EQ(m.at(2, 2), -1.0f);
        EXPECT_FLOAT_EQ(m.at(3, 0), -1.0f);
        EXPECT_FLOAT_EQ(m.at(3, 1), 1.0f);
        EXPECT_FLOAT_EQ(m.at(3, 3), 1.0f);
        EXPECT_FLOAT_EQ(m.at(1, 0), 0.0f);
        EXPECT_FLOAT_EQ(m.at(0, 3), 0.0f);
        EXPECT_TRUE(window.shown);
    }

    TEST_F(Window_Test, CtrlLeftDragMovesTheWindowByTheCursorDelta)
    {
        cursor_to(600, 500);
        const Int2 start = window.position;
        push_key(SDLK_LCTRL, true);
        push_button(SDL_BUTTON_LEFT, true);
        window.update();
        cursor_to(630, 480);
        EXPECT_EQ(window.position, (Int2{start.x + 30, start.y - 20}));
        EXPECT_EQ(window.size, (Int2{333, 666}));

        push_button(SDL_BUTTON_LEFT, false);
        window.update();
        cursor_to(700, 400);
        EXPECT_EQ(window.position, (Int2{start.x + 30, start.y - 20})) << "no move once the button is up";
    }

    TEST_F(Window_Test, CtrlRightDragResizesWithinTheMinimumAndTheScreen)
    {
        const Int2 screen = Kestrane::get_screen_resolution();
        cursor_to(600, 700);
        push_key(SDLK_LCTRL, true);
        push_button(SDL_BUTTON_RIGHT, true);
        window.update();
        cursor_to(610, 720);
        EXPECT_EQ(window.size, (Int2{343, 686}));
        EXPECT_FLOAT_EQ(window.projection.at(0, 0), 2.0f / 343.0f);

        cursor_to(10, 10);
        EXPECT_EQ(window.size, (Int2{130, 130}));

        window.move_and_size({0, 0}, window.size);
        cursor_to(screen.x - 1, screen.y - 1);
        cursor_to(0, 0);
        cursor_to(screen.x - 1, screen.y - 1);
        EXPECT_EQ(window.size, screen);
    }

    TEST_F(Window_Test, CursorFadesAfterTheMouseStops)
    {
        cursor_to(300, 300);
        cursor_to(310, 300);
        EXPECT_FLOAT_EQ(window.cursor_color.a, 1.0f);
        window.delta_time = 1.5f;
        window.update();
        EXPECT_NEAR(window.cursor_color.a, 0.25f, 1e-6);
        window.delta_time = 1.5f;
        window.update();
        window.update();
        EXPECT_EQ(window.cursor_color.a, 0.0f);
    }

    TEST_F(Window_Test, EscapeEndsTheLoopAtTheNextUpdate)
    {
        push_key(SDLK_ESCAPE, true);
        EXPECT_TRUE(window.update());
        EXPECT_FALSE(window.update());
    }

    TEST_F(Window_Test, CloseRequestEndsTheLoop)
    {
        SDL_Event event{};
        event.type = SDL_QUIT;
        SDL_PushEvent(&event);
        EXPECT_FALSE(window.update());
    }

    // The frame loop sleeps one refresh period per frame: a rate of 0 from a display that
    // does not say (Xvfb) must not become an endless sleep.
    TEST_F(Window_Test, RefreshRateIsTheMonitorsOrSixtyWhereUnknown)
    {
        SDL_DisplayMode mode{};
        SDL_GetCurrentDisplayMode(SDL_GetWindowDisplayIndex(static_cast<SDL_Window*>(window.handle->native)), &mode);
        const int32_t rate = Platform::refresh_rate(*window.handle);
        if (mode.refresh_rate > 0)
            EXPECT_EQ(rate, mode.refresh_rate);
        else
            EXPECT_EQ(rate, 60);
    }

    TEST(Window_Procedure, UnusableRectangleKeepsTheSize)
    {
        Kestrane::Window window{"Window Test",
                                {200, 150},
                                {0, 0, 0, 1},
                                {1, 1, 1, 1},
                                {130, 130},
                                Test_Support::player_icon(),
                                Test_Support::status_font()};
        window.resized(Platform::Rect{-500, -400, -100, -100});
        EXPECT_EQ(window.size, (Int2{200, 150}));
        window.resized(Platform::Rect{10, 20, 310, 420});
        EXPECT_EQ(window.size, (Int2{300, 400}));
    }
}
