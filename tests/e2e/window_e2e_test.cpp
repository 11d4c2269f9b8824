// The real executable: its window appears centred on the primary monitor, borderless and of
// the player's size; it holds the mouse only while a button pressed in it is down; Escape
// takes the window away at once and ends the process with exit code 0. The exit itself gets
// more time: under the sanitizers it takes most of a second (Release: ~30 ms).
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <fstream>

#include "e2e/e2e_support.h"

namespace
{
    TEST(Window_End_To_End, OpensCentredBorderlessAndQuitsOnEscape)
    {
        E2e::Temporary_Folder music;
        std::ofstream(music.path / "song.flac") << "only its name matters until it is played";

        E2e::Player_Process player(music.path);
        const std::string window = E2e::find_window("Corvane", 10.0);
        ASSERT_FALSE(window.empty()) << "no window named Corvane appeared";

        const E2e::Geometry screen = E2e::screen_geometry();
        const E2e::Geometry geometry = E2e::window_geometry(window);
        EXPECT_EQ(geometry.width, 333);
        EXPECT_EQ(geometry.height, 666);
        EXPECT_EQ(geometry.x, screen.width / 2 - 333 / 2);
        EXPECT_EQ(geometry.y, screen.height / 2 - 666 / 2);
        // Borderless: the Motif hints ask for no decorations (flags 2, decorations 0).
        EXPECT_NE(E2e::run("xprop -id " + window + " _MOTIF_WM_HINTS").find("0x2, 0x0"), std::string::npos);

        E2e::press_key(window, "Escape");
        EXPECT_TRUE(E2e::poll([] { return E2e::find_window("Corvane", 0.0).empty(); }, 1.0))
            << "window still shown a second after Escape";
        const auto code = player.wait_exit(10.0);
        ASSERT_TRUE(code.has_value()) << "still running ten seconds after Escape";
        EXPECT_EQ(*code, 0);
    }

    // A window of the test's own in the screen's top-left corner, away from the player's.
    struct Other_Client
    {
        Other_Client() : display(XOpenDisplay(nullptr))
        {
            if (!display)
                return;
            window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 100, 100, 0, 0, 0);
            XSelectInput(display, window, ButtonPressMask);
            XMapWindow(display, window);
            XSync(display, False);
        }
        ~Other_Client()
        {
            if (display)
                XCloseDisplay(display);
        }
        Other_Client(const Other_Client&) = delete;
        Other_Client& operator=(const Other_Client&) = delete;

        bool received_click(double seconds)
        {
            XEvent event;
            return E2e::poll([&] { return XCheckWindowEvent(display, window, ButtonPressMask, &event) == True; },
                             seconds);
        }

        bool can_grab_pointer()
        {
            const int result = XGrabPointer(display, window, False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                                            None, None, CurrentTime);
            XUngrabPointer(display, CurrentTime);
            XSync(display, False);
            return result == GrabSuccess;
        }

        Display* display;
        ::Window window = 0;
    };

    TEST(Window_End_To_End, HoldsTheMouseOnlyWhileADragThatStartedInItLasts)
    {
        E2e::Temporary_Folder music;
        std::ofstream(music.path / "song.flac") << "only its name matters until it is played";
        E2e::Player_Process player(music.path);
        const std::string window = E2e::find_window("Corvane", 10.0);
        ASSERT_FALSE(window.empty()) << "no window named Corvane appeared";
        Other_Client other;
        ASSERT_NE(other.display, nullptr);

        // As a user gives it the focus: from another window, with the pointer over it.
        E2e::run("xdotool windowfocus --sync " + std::to_string(other.window));
        const E2e::Geometry start = E2e::window_geometry(window);
        E2e::run("xdotool mousemove --sync " + std::to_string(start.x + 100) + " " + std::to_string(start.y + 100));
        E2e::run("xdotool windowfocus --sync " + window);
        ASSERT_TRUE(E2e::poll([&] { return E2e::run("xdotool getwindowfocus") == window; }, 5.0));
        E2e::sleep_seconds(0.3); // a few frames take the focus in
        E2e::run("xdotool mousemove --sync 50 50 click 1");
        EXPECT_TRUE(other.received_click(2.0)) << "the other window's click went elsewhere";
        EXPECT_TRUE(other.can_grab_pointer()) << "the player holds the mouse while merely focused";

        // Ctrl+left drag from inside the window to far outside it, and back up.
        E2e::run("xdotool mousemove --sync " + std::to_string(start.x + 100) + " " + std::to_string(start.y + 100));
        E2e::run("xdotool keydown ctrl mousedown 1");
        E2e::sleep_seconds(0.3);
        const int away_x = start.x + start.width + 300;
        E2e::run("xdotool mousemove --sync " + std::to_string(away_x) + " " + std::to_string(start.y + 150));
        const int moved_x = start.x + away_x - (start.x + 100), moved_y = start.y + 50;
        EXPECT_TRUE(E2e::poll([&] {
            const E2e::Geometry g = E2e::window_geometry(window);
            return g.x == moved_x && g.y == moved_y;
        }, 5.0)) << "a Ctrl+left drag that left the window did not move it";
        E2e::run("xdotool mouseup 1 keyup ctrl");
        E2e::sleep_seconds(0.3);
        EXPECT_TRUE(other.can_grab_pointer()) << "the mouse is still held after the drag ended";

        E2e::press_key(window, "Escape");
        const auto code = player.wait_exit(10.0);
        ASSERT_TRUE(code.has_value()) << "still running ten seconds after Escape";
        EXPECT_EQ(*code, 0);
    }
}
