// Start-up, frame loop and shutdown of the player, and the last-resort error handlers.
#include "app/application.h"

#include "app/palette.h"
#include "assets/assets.h"
#include "engine/error.h"
#include "platform/display.h"

namespace Corvane
{
    Application::Application()
        : window("Corvane", {333, 666}, black, white, {130, 130}, {Assets::icon.data, Assets::icon.size},
                 {Assets::comfortaa_regular.data, Assets::comfortaa_regular.size}),
          footer_background(&window, grey, {0, 0}, {90, float(footer_height)}),
          progress_fill(&window, white, {0, 0}, {90, float(footer_height)}),
          player_font(&window, Assets::open_sans_regular.data, Assets::open_sans_regular.size, 15), library(&window),
          track(&window), footer_text(&window, &player_font, "", {0, 0}, black, Kestrane::align_marquee_lowered),
          waveform_line(&window, white)
    {
        track.volume = 0.03;
    }

    Application::~Application()
    {
        // The user sees the window go at once, even while a track's threads wind down.
        window.hide();
    }

    void Frame_Pacer::wait(double period)
    {
        const double now = Platform::now_seconds();
        due += period;
        if (due < now)
            due = now;
        Platform::sleep_until(due);
    }

    void Application::run()
    {
        while (window.update())
        {
            frame();
            pace();
        }
    }

    void Application::pace()
    {
        // Asked every frame: the window may have been dragged onto another monitor.
        pacer.wait(1.0 / Platform::refresh_rate(*window.handle));
    }

    void Application::frame()
    {
        commands();
        draw_screen();
    }

    void Application::play_file(std::shared_ptr<File> file)
    {
        if (track.loading)
            return;
        library.selection = file;
        track.load(file);
    }

    int run_with_error_box(const std::function<void()>& body)
    {
        std::string message;
        try
        {
            body();
            return 0;
        }
        catch (...)
        {
            message = Kestrane::current_exception_message();
        }
        Kestrane::show_error_box(message);
        return 1;
    }
}
