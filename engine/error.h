// How failures reach the user: the message for whatever exception is in flight, the error
// boxes (the fatal one from any thread, the last-resort one of the entry point), and the
// primary screen's size and place that boxes and the window are centred on.
#pragma once

#include <memory>
#include <string>

#include "engine/math.h"

namespace Platform
{
    class Display_Window;
}

namespace Kestrane
{
    // Shared holder of the native window (first field of Kestrane::Window).
    using Window_Handle = std::shared_ptr<Platform::Display_Window>;

    class Window;

    // The window's handle holder, or an empty one without a window (tests, early start-up).
    Window_Handle handle_of(const Window* window);

    // Caption of every error box.
    constexpr const char* error_caption = "Corvane Error";

    // Shows an error box owned by the window, centred on the screen, then ends the
    // process with exit code 1. Callable from any thread; never returns.
    [[noreturn]] void show_fatal_error(const Window_Handle& handle, const std::string& message);

    // Main thread, once per frame; returns at once unless a background thread is about to
    // show a fatal error, in which case it never returns. The system may build the box in a
    // copy of this process, and a thread caught inside the allocator at that moment would
    // leave the copy stuck on the allocator's lock.
    void stop_here_if_fatal_error();

    // The primary screen's (width, height) in pixels, read once per process. On a desktop of
    // several monitors this is the primary monitor.
    Int2 get_screen_resolution();

    // The primary screen's top-left corner in desktop pixels, read once per process.
    Int2 get_screen_position();

    // Any thread; blocks until OK is pressed. An error box without an owner window, for
    // failures that outlived the window.
    void show_error_box(const std::string& message);

    // Text shown for an exception that is not a Kestrane::Exception.
    std::string external_error_message(const char* what);

    // Inside a catch block only: the user's message for the exception being handled, be it a
    // Kestrane::Exception, a standard exception or anything else.
    std::string current_exception_message();
}
