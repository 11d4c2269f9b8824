// Frame time of text drawing in the player's window, against the empty frame (update alone)
// and a frame of plain rectangles measured in the same run:
//   - one character: frames drawing 1,000 characters, less the empty frame, per character;
//   - the browser over a folder of 2,000 tracks as it draws them: every name labelled once (a
//     centred marquee text, kept between frames), and in each frame the 2,000 entries walked,
//     those that reach into the list area drawn in one text pass (target: 0.5 of the empty
//     frame rate or more).
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "engine/font.h"
#include "engine/rectangle.h"
#include "engine/text.h"
#include "engine/window.h"
#include "platform/display.h"
#include "support/window_assets.h"

namespace
{
    constexpr double measure_seconds = 1.0;
    constexpr int characters_per_line = 100;
    constexpr int lines_of_characters = 10;
    constexpr int rectangles_per_frame = 1000;
    constexpr int browser_lines = 2000;
    constexpr int browser_pairs = 15;
    constexpr double pair_seconds = 0.3;

    double median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }

    // Seconds per frame of `draw` followed by the window's update, over `seconds`.
    double seconds_per_frame(Kestrane::Window& window, const std::function<void()>& draw,
                             double seconds = measure_seconds)
    {
        for (int i = 0; i < 10; ++i) // warm-up: first-use builds, caches
        {
            draw();
            window.update();
        }
        long frames = 0;
        const double start = Platform::now_seconds();
        while (Platform::now_seconds() - start < seconds)
        {
            draw();
            window.update();
            ++frames;
        }
        return (Platform::now_seconds() - start) / static_cast<double>(frames);
    }

    // The names of the app benchmark's big folder, display names without ".flac".
    std::vector<std::string> track_names()
    {
        std::vector<std::string> names;
        for (int i = 0; i < browser_lines; ++i)
            names.push_back(std::to_string(10000 + i).substr(1) + " Some Artist - A Fairly Long Track Title");
        return names;
    }

    // The browser's list area under the footer, and its frame: the entries from the middle
    // of the folder are seen (the list is centred), each label placed on its line and drawn
    // only when its baseline lies within two lines of the area, as the browser does.
    struct Browser
    {
        Kestrane::Window& window;
        Kestrane::Font& font;
        std::vector<Kestrane::Text> labels;
        const Kestrane::Int2 area{333, 646};
        int drawn = 0; // labels drawn in the last frame

        void frame()
        {
            const int line = font.height;
            const int reach = 2 * std::max(line, static_cast<int>(font.pixel_size));
            Kestrane::Text_Pass pass(&window, {0, 0}, area);
            drawn = 0;
            for (int i = 0; i < static_cast<int>(labels.size()); ++i)
            {
                const int y = (i - static_cast<int>(labels.size()) / 2) * line;
                if (y < -area.y / 2 - reach || y > area.y - area.y / 2 + reach)
                    continue;
                labels[i].position = {0.0f, static_cast<float>(y)};
                pass.draw(labels[i]);
                ++drawn;
            }
        }
    };
}

int main()
{
    Kestrane::Window window = Test_Support::test_window("Corvane", {333, 666});
    const auto& data = Corvane::Assets::open_sans_regular;
    Kestrane::Font font(&window, data.data, data.size, 15);
    const Kestrane::Color white{1, 1, 1, 1};

    const double empty = seconds_per_frame(window, [] {});

    std::vector<Kestrane::Rectangle> rectangles;
    for (int i = 0; i < rectangles_per_frame; ++i)
        rectangles.emplace_back(&window, white, Kestrane::Int2{i % 300, i % 600}, Kestrane::Float2{3, 3});
    const double with_rectangles = seconds_per_frame(window,
                                                     [&]
                                                     {
                                                         for (const Kestrane::Rectangle& rectangle : rectangles)
                                                             rectangle.draw();
                                                     });

    std::vector<Kestrane::Text> lines;
    for (int i = 0; i < lines_of_characters; ++i)
        lines.emplace_back(&window, &font, std::string(characters_per_line, static_cast<char>('a' + i)),
                           Kestrane::Float2{0, 40.0f + 50.0f * static_cast<float>(i)}, white, 1);
    const double with_characters = seconds_per_frame(window,
                                                     [&]
                                                     {
                                                         for (Kestrane::Text& line : lines)
                                                             line.draw();
                                                     });

    const std::vector<std::string> names = track_names();
    Browser browser{window, font, {}};
    for (const std::string& name : names)
        browser.labels.emplace_back(&window, &font, name, Kestrane::Float2{}, white, Kestrane::align_marquee,
                                    Kestrane::Int2{0, 0}, browser.area);
    // Short stretches of the empty frame and the browser back to back, each pair giving one
    // ratio: the load of this kind of machine drifts over seconds, and a pair sees the same
    // load. The median of the pairs is the figure; the spread is printed beside it.
    std::vector<double> ratios, browser_times, empty_times;
    for (int pair = 0; pair < browser_pairs; ++pair)
    {
        empty_times.push_back(seconds_per_frame(window, [] {}, pair_seconds));
        browser_times.push_back(seconds_per_frame(window, [&] { browser.frame(); }, pair_seconds));
        ratios.push_back(empty_times.back() / browser_times.back());
    }
    const double with_browser = median(browser_times), browser_empty = median(empty_times);
    const double ratio = median(ratios);
    const int seen = browser.drawn;

    const int characters = characters_per_line * lines_of_characters;
    const double per_character = (with_characters - empty) / characters;
    const double per_rectangle = (with_rectangles - empty) / rectangles_per_frame;
    std::printf("empty frame (update only):          %9.1f us  (%.0f frames/s)\n", empty * 1e6, 1.0 / empty);
    std::printf("frame with %d rectangles:         %9.1f us\n", rectangles_per_frame, with_rectangles * 1e6);
    std::printf("frame with %d characters:         %9.1f us\n", characters, with_characters * 1e6);
    std::printf("frame of the browser, %d entries:  %9.1f us  (%.0f frames/s; %d labels drawn, %d px wide)\n"
                "  against the empty frame of its pairs:  %9.1f us (medians)\n",
                browser_lines, with_browser * 1e6, 1.0 / with_browser, seen, browser.labels.front().measured.width,
                browser_empty * 1e6);
    std::printf("one character:                      %9.3f us = %.4f empty frames = %.2f rectangles\n",
                per_character * 1e6, per_character / empty, per_character / per_rectangle);
    std::printf("browser of %d entries, frames/s (ratio to empty, median of %d pairs): %.3f (target >= 0.5; "
                "pairs %.3f to %.3f)\n",
                browser_lines, browser_pairs, ratio, *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
}
