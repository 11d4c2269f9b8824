// The real executable: its window appears centred on the primary monitor, borderless and of
// the player's size, and so do its error boxes; it holds the mouse only while a button pressed in it is down; Escape
// takes the window away at once and ends the process with exit code 0. The exit itself gets
// more time: under the sanitizers it takes most of a second (Release: ~30 ms).
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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
            const int result = XGrabPointer(display, window, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                                            None, CurrentTime);
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
        E2e::move_pointer(start.x + 100, start.y + 100);
        E2e::run("xdotool windowfocus --sync " + window);
        ASSERT_TRUE(E2e::poll([&] { return E2e::run("xdotool getwindowfocus") == window; }, 5.0));
        E2e::sleep_seconds(0.3); // a few frames take the focus in
        E2e::move_pointer(50, 50);
        E2e::run("xdotool click 1");
        EXPECT_TRUE(other.received_click(2.0)) << "the other window's click went elsewhere";
        EXPECT_TRUE(other.can_grab_pointer()) << "the player holds the mouse while merely focused";

        // Ctrl+left drag from inside the window to far outside it, and back up.
        E2e::move_pointer(start.x + 100, start.y + 100);
        E2e::run("xdotool keydown ctrl mousedown 1");
        E2e::sleep_seconds(0.3);
        const int away_x = start.x + start.width + 300;
        E2e::move_pointer(away_x, start.y + 150);
        const int moved_x = start.x + away_x - (start.x + 100), moved_y = start.y + 50;
        EXPECT_TRUE(E2e::poll(
            [&]
            {
                const E2e::Geometry g = E2e::window_geometry(window);
                return g.x == moved_x && g.y == moved_y;
            },
            5.0))
            << "a Ctrl+left drag that left the window did not move it";
        E2e::run("xdotool mouseup 1 keyup ctrl");
        E2e::sleep_seconds(0.3);
        EXPECT_TRUE(other.can_grab_pointer()) << "the mouse is still held after the drag ended";

        E2e::press_key(window, "Escape");
        const auto code = player.wait_exit(10.0);
        ASSERT_TRUE(code.has_value()) << "still running ten seconds after Escape";
        EXPECT_EQ(*code, 0);
    }

    // Two monitors side by side, as Xephyr draws them inside the test's display: heads of
    // 1920 x 1080 at (0, 0) and 1280 x 1024 at (1920, 0). While the object lives, DISPLAY
    // names it.
    struct Two_Monitor_Desktop
    {
        static constexpr E2e::Geometry first{0, 0, 1920, 1080};
        static constexpr E2e::Geometry second{1920, 0, 1280, 1024};

        Two_Monitor_Desktop()
        {
            int ready[2];
            if (pipe(ready) != 0)
                return;
            pid = fork();
            if (pid == 0)
            {
                close(ready[0]);
                const std::string fd = std::to_string(ready[1]);
                freopen("/dev/null", "w", stdout);
                freopen("/dev/null", "w", stderr);
                // The server picks a free display number and writes it once it accepts clients.
                // Without -noreset it restarts, refusing clients for a moment, each time its
                // last client leaves (between one player and the next).
                execlp("Xephyr", "Xephyr", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", "+xinerama",
                       "-screen", "1920x1080", "-screen", "1280x1024", static_cast<char*>(nullptr));
                _exit(127);
            }
            close(ready[1]);
            std::string number;
            pollfd wait{ready[0], POLLIN, 0};
            char c = 0;
            while (poll(&wait, 1, 20000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n')
                number += c;
            close(ready[0]);
            if (number.empty() || !accepts_clients(":" + number))
                return;
            const char* previous = std::getenv("DISPLAY");
            previous_display = previous ? previous : "";
            display = ":" + number;
            setenv("DISPLAY", display.c_str(), 1);
        }

        ~Two_Monitor_Desktop()
        {
            if (!display.empty())
                setenv("DISPLAY", previous_display.c_str(), 1);
            if (pid > 0)
            {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
        Two_Monitor_Desktop(const Two_Monitor_Desktop&) = delete;
        Two_Monitor_Desktop& operator=(const Two_Monitor_Desktop&) = delete;

        static bool accepts_clients(const std::string& name)
        {
            return E2e::poll(
                [&]
                {
                    Display* d = XOpenDisplay(name.c_str());
                    if (d)
                        XCloseDisplay(d);
                    return d != nullptr;
                },
                20.0);
        }

        // Both monitors side by side make one root window.
        bool spans_both() const
        {
            Display* d = XOpenDisplay(nullptr);
            if (!d)
                return false;
            const int width = DisplayWidth(d, DefaultScreen(d));
            XCloseDisplay(d);
            return width == second.x + second.width;
        }

        // Marks the second head primary, as a desktop's display settings do.
        static void make_second_primary()
        {
            Display* d = XOpenDisplay(nullptr);
            if (!d)
                return;
            XRRMonitorInfo* monitor = XRRAllocateMonitor(d, 0);
            monitor->name = XInternAtom(d, "SECOND", False);
            monitor->primary = True;
            monitor->x = second.x;
            monitor->y = second.y;
            monitor->width = second.width;
            monitor->height = second.height;
            monitor->mwidth = 340;
            monitor->mheight = 270;
            XRRSetMonitor(d, DefaultRootWindow(d), monitor);
            XRRFreeMonitors(monitor);
            XSync(d, False);
            XCloseDisplay(d);
        }

        pid_t pid = -1;
        std::string display; // empty when the server did not come up
        std::string previous_display;
    };

    bool have_xephyr()
    {
        return !E2e::run("command -v Xephyr").empty();
    }

    // Ctrl + `button` down at one place, the pointer moved to another; both stay down.
    void drag(int from_x, int from_y, int to_x, int to_y, int button)
    {
        E2e::move_pointer(from_x, from_y);
        E2e::sleep_seconds(0.3);
        E2e::run("xdotool keydown ctrl mousedown " + std::to_string(button));
        E2e::sleep_seconds(0.3);
        E2e::move_pointer(to_x, to_y);
    }

    // The player's window, centred on the primary monitor; empty (after a failure) when
    // none appeared.
    std::string centred_window(const E2e::Geometry& head)
    {
        const std::string window = E2e::find_window("Corvane", 20.0);
        EXPECT_FALSE(window.empty()) << "no window named Corvane appeared";
        if (window.empty())
            return window;
        const E2e::Geometry geometry = E2e::window_geometry(window);
        EXPECT_EQ(geometry.x, head.x + head.width / 2 - 333 / 2);
        EXPECT_EQ(geometry.y, head.y + head.height / 2 - 666 / 2);
        return window;
    }

    TEST(Window_End_To_End, OpensOnThePrimaryMonitorAndGrowsNoLargerThanIt)
    {
        if (!have_xephyr())
            GTEST_SKIP() << "Xephyr is missing (tools/install-deps.sh installs it)";
        Two_Monitor_Desktop desktop;
        ASSERT_FALSE(desktop.display.empty()) << "Xephyr did not start";
        ASSERT_TRUE(desktop.spans_both()) << desktop.display << " is not the two monitors";
        // No monitor is marked primary: the first head is the main one.
        const E2e::Geometry head = Two_Monitor_Desktop::first;

        E2e::Temporary_Folder music;
        std::ofstream(music.path / "song.flac") << "only its name matters until it is played";
        E2e::Player_Process player(music.path);
        const std::string window = centred_window(head);
        ASSERT_FALSE(window.empty());

        // Ctrl+left drag to the left edge, then Ctrl+right drag to the primary monitor's far
        // corner: the size stops at the monitor's, not at the desktop's. (While a button is
        // down Xephyr keeps the pointer on the head it is on.)
        E2e::run("xdotool windowfocus --sync " + window + " 2>/dev/null");
        const E2e::Geometry start = E2e::window_geometry(window);
        const int grip_y = start.y + 100;
        drag(start.x + 100, grip_y, 100, grip_y, 1);
        ASSERT_TRUE(E2e::poll([&] { return E2e::window_geometry(window).x == 0; }, 5.0));
        E2e::run("xdotool mouseup 1 keyup ctrl");
        drag(100, grip_y, head.x + head.width - 1, head.y + head.height - 1, 3);
        E2e::Geometry grown;
        EXPECT_TRUE(E2e::poll(
            [&]
            {
                grown = E2e::window_geometry(window);
                return grown.width == head.width && grown.height == head.height;
            },
            5.0))
            << "grew to " << grown.width << " x " << grown.height;
        E2e::run("xdotool mouseup 3 keyup ctrl");

        E2e::press_key(window, "Escape");
        ASSERT_TRUE(player.wait_exit(10.0).has_value()) << "still running ten seconds after Escape";
    }

    TEST(Window_End_To_End, OpensAndShowsItsErrorsOnTheMonitorMarkedPrimary)
    {
        if (!have_xephyr())
            GTEST_SKIP() << "Xephyr is missing (tools/install-deps.sh installs it)";
        Two_Monitor_Desktop desktop;
        ASSERT_FALSE(desktop.display.empty()) << "Xephyr did not start";
        ASSERT_TRUE(desktop.spans_both()) << desktop.display << " is not the two monitors";
        Two_Monitor_Desktop::make_second_primary();
        const E2e::Geometry head = Two_Monitor_Desktop::second;
        {
            E2e::Temporary_Folder music;
            std::ofstream(music.path / "song.flac") << "only its name matters until it is played";
            E2e::Player_Process player(music.path);
            const std::string window = centred_window(head);
            ASSERT_FALSE(window.empty());
            E2e::press_key(window, "Escape");
            ASSERT_TRUE(player.wait_exit(10.0).has_value()) << "still running ten seconds after Escape";
        }
        E2e::Temporary_Folder music;
        std::ofstream(music.path / "notes.txt") << "not music";
        E2e::Player_Process player(music.path);
        const std::string box = E2e::find_window_in_tree("Corvane Error", 20.0);
        ASSERT_FALSE(box.empty()) << "no \"Corvane Error\" box appeared";
        E2e::Geometry geometry;
        const bool centred = E2e::poll(
            [&]
            {
                geometry = E2e::window_geometry(box);
                return geometry.width > 0 && geometry.x == head.x + head.width / 2 - geometry.width / 2 &&
                       geometry.y == head.y + head.height / 2 - geometry.height / 2;
            },
            5.0);
        EXPECT_TRUE(centred) << "box of " << geometry.width << " x " << geometry.height << " at (" << geometry.x << ", "
                             << geometry.y << ")";
        E2e::run("xdotool key --window " + box + " Return");
        const auto code = player.wait_exit(10.0);
        ASSERT_TRUE(code.has_value()) << "still running after the box was dismissed";
        EXPECT_EQ(*code, 1);
    }
}
