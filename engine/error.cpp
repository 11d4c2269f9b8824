// Fatal-error boxes from background threads, and the cached screen size.
#include "engine/error.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/window.h"
#include "platform/display.h"
#include "platform/message_box.h"

namespace Kestrane
{
    namespace
    {
        // The box appears some time after the call that shows it; poll gently for it
        // instead of spinning a core.
        void center_error_box()
        {
            for (int attempt = 0; attempt < 1000; ++attempt)
            {
                if (Platform::center_window_by_title("Corvane Error"))
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    }

    Window_Handle handle_of(const Window* window)
    {
        return window ? window->handle : Window_Handle{};
    }

    void show_fatal_error(const Window_Handle& handle, const std::string& message)
    {
        std::thread(center_error_box).detach();
        Platform::show_error_box(message, handle.get());
        std::exit(1);
    }

    Int2 get_screen_resolution()
    {
        static const Int2 resolution = []
        {
            Int2 r;
            Platform::get_screen_size(r.x, r.y);
            return r;
        }();
        return resolution;
    }

    std::string external_error_message(const char* what)
    {
        // The C++ library names an allocation failure by its class; users read this one.
        const std::string description = std::string(what) == "std::bad_alloc" ? "bad allocation" : what;
        return "External Error: " + description;
    }
}
