// The player screen: the footer strip with its progress fill and status line, and the
// upper area with the library browser or the waveform view.
#include "app/application.h"
#include "app/palette.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace Corvane
{
    Kestrane::Float2 progress_span(int64_t position, int64_t seek, int64_t frame_count, int32_t width)
    {
        if (frame_count <= 0)
            return {float(width) / 2.0f, 0.0f};
        const int64_t target = std::clamp<int64_t>(position + seek, 0, frame_count);
        const float fraction = float(target) / float(frame_count);
        const float fill = float(width) * fraction;
        return {float(width) / 2.0f - fill / 2.0f, fill};
    }

    std::string Application::footer_string(bool scan_running) const
    {
        if (scan_running || track.loading)
            return "Loading";
        if (!active())
            return "Corvane 18-12-29";
        return track.get_info() + (shuffle ? " Shuffle" : "");
    }

    void Application::draw_screen()
    {
        // One look at the scan per frame: a scan ending between the footer and the browser
        // would otherwise show "Loading" over a finished list.
        const bool scan_running = scanning();
        draw_footer(scan_running);
        const Kestrane::Int2 size = window.size;
        if (!scan_running && !show_waveform)
            library.draw(player_font, {0, 0}, {size.x, size.y - footer_height}, white, light_grey, grey, track.file);
        if (show_waveform)
            draw_waveform();
    }

    void Application::draw_footer(bool scan_running)
    {
        const Kestrane::Int2 size = window.size;
        const bool lit = active() && !track.loading;
        footer_background.size = {float(size.x), float(footer_height)};
        footer_background.position = {0.0f, float(size.y - footer_height)};
        footer_background.color = lit ? light_grey : white;
        footer_background.draw();

        if (lit)
        {
            const Kestrane::Float2 span = progress_span(track.position, track.seek, track.frame_count, size.x);
            progress_fill.size = {span.y, float(footer_height)};
            progress_fill.position = {span.x, float(size.y - footer_height)};
            progress_fill.draw();
        }

        const std::string text = footer_string(scan_running);
        if (text != footer_text.string)
            footer_text.set_string(text);
        footer_text.clip_position = {0, size.y - footer_height};
        footer_text.clip_size = {size.x, footer_height};
        footer_text.draw();
    }

    void Application::draw_waveform()
    {
        waveform_line.draw(waveform_points(), 1.0f);
    }

    std::vector<Kestrane::Float2> Application::waveform_points() const
    {
        const int32_t width = window.size.x;
        const int32_t area = window.size.y - footer_height;
        const int32_t middle = area / 2;
        const int32_t half = width / 2;
        const int64_t position = track.position;
        if (!(active() && !track.loading && position + half < track.frame_count))
            return {{0.0f, float(middle)}, {float(width), float(middle)}};
        std::vector<Kestrane::Float2> points(static_cast<size_t>(std::max(width, 0)));
        for (int32_t i = 0; i < width; ++i)
        {
            const int64_t frame = position + std::abs(i - half);
            const double sample = (track.get_sample(frame, false) + track.get_sample(frame, true)) / 2.0;
            points[size_t(i)] = {float(i), float(sample * area / 2.0 + middle)};
        }
        return points;
    }
}
