// Support for end-to-end tests: the real corvane executable started in a folder of the
// test's making under the test run's X display, driven and read with xdotool and friends.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace E2e
{
    // A temporary folder, removed with everything in it when the object goes.
    struct Temporary_Folder : Test_Support::Temp_Folder
    {
        Temporary_Folder() : Temp_Folder("corvane-e2e") {}
    };

    // The corvane executable of this build (or `command`, e.g. Wine and the Windows build),
    // running in `folder` with sanitizer_environment() and then `environment` ("NAME=value"
    // each) added to the test's own; killed, with any process it started, if still alive
    // when the object goes.
    struct Player_Process
    {
        Player_Process(const std::filesystem::path& folder, const std::vector<std::string>& environment = {},
                       const std::vector<std::string>& command = {});
        ~Player_Process();
        Player_Process(const Player_Process&) = delete;
        Player_Process& operator=(const Player_Process&) = delete;

        // The exit code once the process has ended within `seconds`, or nothing.
        std::optional<int> wait_exit(double seconds);

        pid_t pid = -1;
        std::optional<int> exit_code;
    };

    // Runs a shell command; returns what it printed on stdout, trimmed.
    std::string run(const std::string& command);

    // The X window id of the first top-level window titled exactly `title`, polling for up
    // to `seconds`; empty when none appeared.
    std::string find_window(const std::string& title, double seconds);

    struct Geometry
    {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    Geometry window_geometry(const std::string& window);

    // The size of the test run's screen.
    Geometry screen_geometry();

    // Sends a key (xdotool name, e.g. "Escape", "s") to the window.
    void press_key(const std::string& window, const std::string& key);

    void sleep_seconds(double seconds);

    // Polls `condition` every 20 ms for up to `seconds`; true as soon as it holds.
    bool poll(const std::function<bool()>& condition, double seconds);

    // Exit code of a sanitized player whose sanitizer found an error, so that it cannot pass
    // for the player's own exit code 1.
    constexpr int sanitizer_exit_code = 66;

    // The environment of a sanitized player: the suite's leak suppressions (leaks inside the
    // system's GL, X11 and SDL libraries), unless the test run chose its own, and
    // sanitizer_exit_code for any sanitizer error.
    std::vector<std::string> sanitizer_environment();

    // A top-level window titled exactly `title`, found through `xwininfo -root -tree` (which
    // also lists windows without WM_CLASS, such as SDL's message box), polling for up to
    // `seconds`; empty when none appeared.
    std::string find_window_in_tree(const std::string& title, double seconds);

    // Moves the pointer to (x, y) on the screen; the server has it there on return. Throws
    // std::runtime_error without a display. (xdotool's `mousemove --sync` instead waits 15 s
    // when the pointer is already where it is sent.)
    void move_pointer(int x, int y);

    // Moves the pointer to (x, y) in the window, lets it rest there for a few frames (a
    // frame reads the pointer before it takes the clicks that came since the last one, so a
    // click right after a move may count at the old place) and clicks `button` (1 left,
    // 3 right). The pointer stays there: move it away only once the click has taken effect.
    void click(const std::string& window, int x, int y, int button = 1);

    // Moves the pointer to the screen's top-left corner, away from a window in the middle,
    // so that the player's software cursor stays out of its screenshots.
    void park_pointer();

    // Resizes the window from outside, as a window manager would.
    void resize_window(const std::string& window, int width, int height);

    // 8-bit channels of one pixel.
    struct Rgb
    {
        uint8_t r = 0;
        uint8_t g = 0;
        uint8_t b = 0;
        int brightest() const { return r > g ? (r > b ? r : b) : (g > b ? g : b); }
        int darkest() const { return r < g ? (r < b ? r : b) : (g < b ? g : b); }
    };

    // What the screen shows in a window's rectangle, read from the root window (so exactly
    // what a user would see there), in window coordinates.
    struct Screenshot
    {
        int width = 0;
        int height = 0;
        std::vector<Rgb> pixels; // row by row from the top-left corner

        Rgb at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
        // Writes a binary PPM, for looking at a failure.
        void save_ppm(const std::filesystem::path& path) const;
    };
    Screenshot take_screenshot(const std::string& window);
}
