// The player's long-lived objects, built in a fixed order when Corvane starts and torn down
// in reverse when it ends, and the frame loop that drives them.
#pragma once

#include <functional>

#include "engine/window.h"

namespace Corvane
{
    class Application
    {
    public:
        Application();  // builds every object in start-up order
        ~Application(); // hides the window at once; the members then go in reverse order
        Application(const Application&) = delete;
        Application& operator=(const Application&) = delete;

        // Runs frames until Escape or a close request.
        void run();

        // Everything of one frame after the window's update.
        void frame();

        Kestrane::Window window;
        bool shuffle = false;       // next track from the shuffle order instead of tree order
        bool show_waveform = false; // waveform view instead of the library browser
    };

    // Runs `body`; any exception that escapes it is shown in an ownerless "Corvane Error"
    // box after the stack has unwound. Returns the process exit code: 0, or 1 after an error.
    int run_with_error_box(const std::function<void()>& body);
}
