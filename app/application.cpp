// Start-up, frame loop and shutdown of the player, and the last-resort error handlers.
#include "app/application.h"

#include <exception>

#include "engine/exception.h"
#include "platform/display.h"
#include "platform/message_box.h"

namespace Corvane
{
    namespace
    {
        const Kestrane::Color black{0.0f, 0.0f, 0.0f, 1.0f};
        const Kestrane::Color white{1.0f, 1.0f, 1.0f, 1.0f};
    }

    Application::Application()
        : window("Corvane", {333, 666}, black, white, {130, 130})
    {
    }

    Application::~Application()
    {
        // The user sees the window go at once, even while a track's threads wind down.
        Platform::hide_window(*window.handle);
    }

    void Application::run()
    {
        while (window.update())
            frame();
    }

    void Application::frame()
    {
    }

    int run_with_error_box(const std::function<void()>& body)
    {
        std::string message;
        try
        {
            body();
            return 0;
        }
        catch (const Kestrane::Exception& exception)
        {
            message = exception.get_message();
        }
        catch (const std::exception& exception)
        {
            message = Kestrane::external_error_message(exception.what());
        }
        catch (...)
        {
            message = "Unhandled exception.";
        }
        Platform::show_error_box(message, nullptr);
        return 1;
    }
}
