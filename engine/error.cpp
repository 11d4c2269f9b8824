// Fatal-error boxes from background threads, and the cached screen size.
#include "engine/error.h"

#include <cstdio>
#include <cstdlib>

#include "engine/window.h"
#include "platform/display.h"
#include "platform/message_box.h"

namespace Kestrane
{
    Window_Handle handle_of(const Window* window)
    {
        return window ? window->handle : Window_Handle{};
    }

    void show_fatal_error(const Window_Handle& handle, const std::string& message)
    {
        Platform::show_error_box(message, handle.get());
        // The main thread is still drawing: static destructors must not run under it.
        std::fflush(nullptr);
        std::_Exit(1);
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
