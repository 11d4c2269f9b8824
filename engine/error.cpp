// Error boxes, the user's message for an exception, and the cached screen size and place.
#include "engine/error.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

#include "engine/exception.h"
#include "engine/window.h"
#include "platform/display.h"
#include "platform/message_box.h"

namespace Kestrane
{
    namespace
    {
        enum Fatal_State : int
        {
            no_error,
            box_pending,  // a background thread waits for the main thread to stop
            main_stopped, // the main thread sleeps until the process ends
        };

        std::atomic<int> fatal_state{no_error};

        // Gives the main thread a moment to stop between frames; without a frame loop
        // (tests, shutdown) the box comes anyway.
        void wait_for_main_thread()
        {
            int expected = no_error;
            fatal_state.compare_exchange_strong(expected, box_pending);
            for (int waited = 0; waited < 250 && fatal_state != main_stopped; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void stop_here_if_fatal_error()
    {
        if (fatal_state.load() == no_error)
            return;
        fatal_state = main_stopped;
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }

    Window_Handle handle_of(const Window* window)
    {
        return window ? window->handle : Window_Handle{};
    }

    void show_fatal_error(const Window_Handle& handle, const std::string& message)
    {
        wait_for_main_thread();
        Platform::show_error_box(error_caption, message, handle.get());
        // The main thread is still drawing: static destructors must not run under it.
        std::fflush(nullptr);
        std::_Exit(1);
    }

    void show_error_box(const std::string& message)
    {
        Platform::show_error_box(error_caption, message, nullptr);
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

    Int2 get_screen_position()
    {
        static const Int2 position = []
        {
            Int2 p;
            Platform::get_screen_position(p.x, p.y);
            return p;
        }();
        return position;
    }

    std::string external_error_message(const char* what)
    {
        // The C++ library names an allocation failure by its class; users read this one.
        const std::string description = std::string(what) == "std::bad_alloc" ? "bad allocation" : what;
        return "External Error: " + description;
    }

    std::string current_exception_message()
    {
        try
        {
            throw;
        }
        catch (const Exception& exception)
        {
            return exception.get_message();
        }
        catch (const std::exception& exception)
        {
            return external_error_message(exception.what());
        }
        catch (...)
        {
            return "Unhandled exception.";
        }
    }
}
