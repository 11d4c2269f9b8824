// The window's input snapshot, Ctrl-drag, projection and loop end, driven by synthetic input
// on a real window (under Xvfb in the test run, through Wine for the Windows build).
#include <gtest/gtest.h>

#include "engine/window.h"
#include "platform/display.h"
#include "support/synthetic_input.h"
#include "support/window_assets.h"

namespace
{
    using Kestrane::Int2;

    constexpr int32_t key_a = 'A', key_s = 'S', key_z = 'Z';

    struct Window_Test : testing::Test
    {
        Kestrane::Window window = Test_Support::test_window("Window Test", {333, 666});

        void SetUp() override { window.update(); }

        void key(int32_t code, bool down, bool repeat = false)
        {
            Test_Support::send_key(*window.handle, code, down, repeat);
        }

        void button(uint32_t down_message, bool down) { Test_Support::send_button(*window.handle, down_message, down); }

        // Puts the cursor at a screen position and lets one update read it.
        void cursor_to(int x, int y)
        {
            Test_Support::move_cursor(x, y);
            window.update();
        }
    };

    TEST_F(Window_Test, KeyIsPressedForOneUpdateAndHeldUntilReleased)
    {
        key(key_s, true);
        window.update();
        EXPECT_TRUE(window.pressed['S']);
        EXPECT_TRUE(window.held['S']);

        key(key_s, true, true); // auto-repeat
        window.update();
        EXPECT_FALSE(window.pressed['S']);
        EXPECT_TRUE(window.held['S']);

        key(key_s, false);
        window.update();
        EXPECT_FALSE(window.pressed['S']);
        EXPECT_FALSE(window.held['S']);

        key(key_s, true);
        window.update();
        EXPECT_TRUE(window.pressed['S']) << "a new press after the release";
    }

    TEST_F(Window_Test, LettersAndModifiersUseVirtualKeyCodes)
    {
        key(key_a, true);
        key(key_z, true);
        key(Kestrane::key_ctrl, true);
        window.update();
        EXPECT_TRUE(window.held[65]);
        EXPECT_TRUE(window.held[90]);
        EXPECT_TRUE(window.held[Kestrane::key_ctrl]);
        key(Kestrane::key_ctrl, false);
        window.update();
        EXPECT_FALSE(window.held[Kestrane::key_ctrl]);
    }

    TEST_F(Window_Test, WheelNotchesAddUpWithinAnUpdateAndResetOnTheNext)
    {
        Test_Support::send_wheel(*window.handle, 1);
        Test_Support::send_wheel(*window.handle, 2);
        Test_Support::send_wheel(*window.handle, -1);
        window.update();
        EXPECT_EQ(window.wheel, 2);
        window.update();
        EXPECT_EQ(window.wheel, 0);
    }

    TEST_F(Window_Test, MouseButtonsLandOnTheirDownMessageNumbers)
    {
        button(Kestrane::button_left, true);
        button(Kestrane::button_right, true);
        button(Kestrane::button_middle, true);
        window.update();
        for (int button : {513, 516, 519})
        {
            EXPECT_TRUE(window.pressed[button]) << button;
            EXPECT_TRUE(window.held[button]) << button;
        }
        button(Kestrane::button_left, false);
        button(Kestrane::button_right, false);
        button(Kestrane::button_middle, false);
        window.update();
        for (int button : {513, 516, 519})
            EXPECT_FALSE(window.held[button]) << button;

        // A button let go after another window took the focus is let go over that window:
        // held on, it would turn Ctrl alone into a drag of the window.
        button(Kestrane::button_left, true);
        button(Kestrane::button_right, true);
        window.update();
        Test_Support::send_focus_loss(*window.handle);
        window.update();
        for (int button : {513, 516})
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
        Test_Support::Pointer_Lock pointer;
        cursor_to(600, 500);
        const Int2 start = window.position;
        key(Kestrane::key_ctrl, true);
        button(Kestrane::button_left, true);
        window.update();
        cursor_to(630, 480);
        EXPECT_EQ(window.position, (Int2{start.x + 30, start.y - 20}));
        EXPECT_EQ(window.size, (Int2{333, 666}));

        button(Kestrane::button_left, false);
        window.update();
        cursor_to(700, 400);
        EXPECT_EQ(window.position, (Int2{start.x + 30, start.y - 20})) << "no move once the button is up";
    }

    TEST_F(Window_Test, CtrlRightDragResizesWithinTheMinimumAndTheScreen)
    {
        Test_Support::Pointer_Lock pointer;
        const Int2 screen = Kestrane::get_screen_resolution();
        cursor_to(600, 700);
        key(Kestrane::key_ctrl, true);
        button(Kestrane::button_right, true);
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
        Test_Support::Pointer_Lock pointer;
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
        key(Kestrane::key_escape, true);
        EXPECT_TRUE(window.update());
        EXPECT_FALSE(window.update());
    }

    TEST_F(Window_Test, CloseRequestEndsTheLoop)
    {
        Test_Support::send_close(*window.handle);
        EXPECT_FALSE(window.update());
    }

    TEST(Window_Procedure, UnusableRectangleKeepsTheSize)
    {
        Kestrane::Window window = Test_Support::test_window("Window Test", {200, 150});
        window.resized(Platform::Rect{-500, -400, -100, -100});
        EXPECT_EQ(window.size, (Int2{200, 150}));
        window.resized(Platform::Rect{10, 20, 310, 420});
        EXPECT_EQ(window.size, (Int2{300, 400}));
    }
}
