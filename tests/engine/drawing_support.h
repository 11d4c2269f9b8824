// Helpers for the drawing tests: a real window (under Xvfb in the test run) whose back buffer
// the tests draw into and read back before any swap.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <gtest/gtest.h>

#include "engine/exception.h"
#include "engine/program.h"
#include "engine/window.h"
#include "support/window_assets.h"

namespace drawing_test
{
    // Mesa writes its shader cache from a thread of its own; LeakSanitizer's check at exit
    // can crash while that thread winds down. Set before the first context of the process
    // (putenv, which both systems' C libraries have; Wine's Mesa never sees it, nor needs to).
    inline char shader_cache_setting[] = "MESA_SHADER_CACHE_DISABLE=true";
    inline const bool shader_cache_off = putenv(shader_cache_setting) == 0;

    using Kestrane::Color;
    using Kestrane::Float2;
    using Kestrane::Int2;

    struct Rgba
    {
        int r = 0, g = 0, b = 0, a = 0;
        bool dark() const { return r == 0 && g == 0 && b == 0; }
        friend bool operator==(const Rgba&, const Rgba&) = default;
    };

    struct Box
    {
        int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1; // inclusive; right < left when empty
        bool empty() const { return right < left; }
        int width() const { return empty() ? 0 : right - left + 1; }
        int height() const { return empty() ? 0 : bottom - top + 1; }
    };

    // The back buffer, row 0 at the top like window pixels.
    struct Frame
    {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> rgba; // GL order: bottom row first

        Rgba at(int x, int y) const
        {
            const uint8_t* p = &rgba[(static_cast<size_t>(height - 1 - y) * width + x) * 4];
            return {p[0], p[1], p[2], p[3]};
        }
        bool lit(int x, int y) const { return !at(x, y).dark(); }

        // The smallest box holding every lit pixel.
        Box lit_box() const
        {
            Box box;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    if (lit(x, y))
                    {
                        box.left = std::min(box.left, x);
                        box.right = std::max(box.right, x);
                        box.top = std::min(box.top, y);
                        box.bottom = std::max(box.bottom, y);
                    }
            return box;
        }

        int lit_count() const
        {
            int count = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    count += lit(x, y) ? 1 : 0;
            return count;
        }

        friend bool operator==(const Frame&, const Frame&) = default;
    };

    inline Frame read_frame(const Kestrane::Window& window)
    {
        Frame frame;
        frame.width = window.size.x;
        frame.height = window.size.y;
        frame.rgba.resize(static_cast<size_t>(frame.width) * frame.height * 4);
        glFinish();
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, frame.width, frame.height, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
        return frame;
    }

    // A black 200 x 160 window after its first update: shown and cleared, ready to draw into.
    struct Drawing_Test : testing::Test
    {
        Kestrane::Window window = Test_Support::test_window("Drawing Test", {200, 160});

        void SetUp() override
        {
            window.update();
            clear();
        }

        void clear()
        {
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
        }

        Frame frame() const { return read_frame(window); }

        static void expect_no_gl_error() { EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)); }
    };

    // The message of the Kestrane::Exception that `action` throws.
    inline std::string message_of(const std::function<void()>& action)
    {
        try
        {
            action();
        }
        catch (const Kestrane::Exception& exception)
        {
            return exception.get_message();
        }
        return "(nothing thrown)";
    }
}
