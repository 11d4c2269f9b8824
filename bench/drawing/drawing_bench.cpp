// Frame time of text drawing in the player's window, against the empty frame (update alone)
// and a frame of plain rectangles measured in the same run:
//   - one character: frames drawing 1,000 characters, less the empty frame, per character;
//   - the browser's worst case: 2,000 lines per frame, each measured for its click box, then
//     built as a centred marquee text (measured again) and drawn into the list area.
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
    constexpr double measure_seconds = 2.0;
    constexpr int characters_per_line = 100;
    constexpr int lines_of_characters = 10;
    constexpr int rectangles_per_frame = 1000;
    constexpr int browser_lines = 2000;

    // Seconds per frame of `draw` followed by the window's update.
    double seconds_per_frame(Kestrane::Window& window, const std::function<void()>& draw)
    {
        for (int i = 0; i < 10; ++i) // warm-up: first-use builds, caches
        {
            draw();
            window.update();
        }
        long frames = 0;
        const double start = Platform::now_seconds();
        while (Platform::now_seconds() - start < measure_seconds)
        {
            draw();
            window.update();
            ++frames;
        }
        return (Platform::now_seconds() - start) / static_cast<double>(frames);
    }

    std::vector<std::string> track_names()
    {
        std::vector<std::string> names;
        for (int i = 0; i < browser_lines; ++i)
            names.push_back(std::to_string(1000 + i).substr(1) + " Some Artist - A Fairly Long Track Title");
        return names;
    }
}

int main()
{
    Kestrane::Window window("Corvane", {333, 666}, {0, 0, 0, 1}, {1, 1, 1, 1}, {130, 130}, Test_Support::player_icon(),
                            Test_Support::status_font());
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
    const Kestrane::Int2 area{333, 646};
    long measured_width = 0; // keeps the click-box measurement from being optimised away
    const double browser = seconds_per_frame(window,
                                             [&]
                                             {
                                                 for (int i = 0; i < browser_lines; ++i)
                                                 {
                                                     const int y = (i - 20) * font.height;
                                                     measured_width += font.measure(names[i]).width; // the click box
                                                     Kestrane::Text label(&window, &font, names[i],
                                                                          Kestrane::Float2{0, static_cast<float>(y)},
                                                                          white, 4, {0, 0}, area);
                                                     label.draw();
                                                 }
                                             });

    const int characters = characters_per_line * lines_of_characters;
    const double per_character = (with_characters - empty) / characters;
    const double per_rectangle = (with_rectangles - empty) / rectangles_per_frame;
    std::printf("empty frame (update only):          %9.1f us  (%.0f frames/s)\n", empty * 1e6, 1.0 / empty);
    std::printf("frame with %d rectangles:         %9.1f us\n", rectangles_per_frame, with_rectangles * 1e6);
    std::printf("frame with %d characters:         %9.1f us\n", characters, with_characters * 1e6);
    std::printf("frame with %d browser lines:      %9.1f us  (%.0f frames/s)\n", browser_lines, browser * 1e6,
                1.0 / browser);
    std::printf("one character:                      %9.3f us = %.4f empty frames = %.2f rectangles\n",
                per_character * 1e6, per_character / empty, per_character / per_rectangle);
    std::printf("%d browser lines (ratio to empty): %9.2f\n", browser_lines, browser / empty);
    std::printf("(measured %ld pixels of line width in all)\n", measured_width);
}
