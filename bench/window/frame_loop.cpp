// Frames per second of the empty frame loop (Kestrane::Window::update and nothing else),
// against a bare clear-and-swap loop on an SDL GL window of the same size in the same run.
#include <SDL.h>
#include <GL/glew.h>

#include <algorithm>
#include <cstdio>

#include "engine/window.h"
#include "platform/display.h"
#include "support/window_assets.h"

namespace
{
    constexpr double measure_seconds = 1.5;

    double bare_swap_fps()
    {
        Platform::Display_Window bare("Baseline", 0, 0, 333, 666, 0);
        Platform::show_window(bare);
        long frames = 0;
        const double start = Platform::now_seconds();
        while (Platform::now_seconds() - start < measure_seconds)
        {
            SDL_Event event;
            while (SDL_PollEvent(&event))
            {
            }
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            Platform::swap_buffers(bare);
            ++frames;
        }
        return frames / (Platform::now_seconds() - start);
    }

    double empty_loop_fps()
    {
        Kestrane::Window window = Test_Support::test_window("Corvane", {333, 666});
        long frames = 0;
        const double start = Platform::now_seconds();
        while (Platform::now_seconds() - start < measure_seconds && window.update())
            ++frames;
        return frames / (Platform::now_seconds() - start);
    }
}

int main()
{
    // Alternated and best of three, so that warm-up and a busy machine weigh on both alike.
    double baseline = 0.0, loop = 0.0;
    for (int round = 0; round < 3; ++round)
    {
        baseline = std::max(baseline, bare_swap_fps());
        loop = std::max(loop, empty_loop_fps());
    }
    std::printf("bare clear+swap loop: %.0f frames/s\n", baseline);
    std::printf("empty frame loop:     %.0f frames/s\n", loop);
    std::printf("ratio (loop / bare):  %.3f\n", loop / baseline);
}
