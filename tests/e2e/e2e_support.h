// Support for end-to-end tests: the real corvane executable started in a folder of the
// test's making under the test run's X display, driven and read with xdotool and friends.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace E2e
{
    // A temporary folder, removed with everything in it when the object goes.
    struct Temporary_Folder
    {
        Temporary_Folder();
        ~Temporary_Folder();
        Temporary_Folder(const Temporary_Folder&) = delete;
        Temporary_Folder& operator=(const Temporary_Folder&) = delete;
        std::filesystem::path path;
    };

    // The corvane executable of this build, running in `folder`; killed if still alive when
    // the object goes.
    struct Player_Process
    {
        Player_Process(const std::filesystem::path& folder, const std::vector<std::string>& environment = {});
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
}
