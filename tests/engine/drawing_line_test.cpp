// Thick polylines: square ends, duplicate points, the miter limit at sharp turns, and
// degenerate input, checked on the pixels drawn into a real window.
#include <cmath>

#include "engine/line.h"

#include "drawing_support.h"

namespace
{
    using namespace drawing_test;
    using Line_Test = Drawing_Test;

    // Distance from pixel centre (x, y) to the segment a-b, in the line's half-pixel-shifted space.
    double distance_to_segment(double x, double y, Float2 a, Float2 b)
    {
        const double ax = a.x + 0.5, ay = a.y + 0.5, bx = b.x + 0.5, by = b.y + 0.5;
        const double dx = bx - ax, dy = by - ay;
        double t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy);
        t = std::fmax(0.0, std::fmin(1.0, t));
        return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
    }

    TEST_F(Line_Test, TwoPointsMakeASquareEndedBarCentredOnTheSegment)
    {
        Kestrane::Line line(&window, {1, 1, 1, 1});
        line.draw({{20, 50}, {80, 50}}, 5.0f);
        expect_no_gl_error();
        const Frame drawn = frame();
        const Box box = drawn.lit_box();
        // The ends fall on pixel centres (20.5 and 80.5): the rasteriser takes one of them.
        EXPECT_EQ(box.width(), 60);
        EXPECT_GE(box.left, 20);
        EXPECT_LE(box.left, 21);
        // Five rows centred on row 50.
        EXPECT_EQ(box.top, 48);
        EXPECT_EQ(box.height(), 5);
        // Square ends: the whole box is filled, corners included.
        EXPECT_EQ(drawn.lit_count(), 60 * 5);

        clear();
        line.draw({{100, 20}, {100, 120}}, 3.0f);
        const Box vertical = frame().lit_box();
        EXPECT_EQ(vertical.left, 99);
        EXPECT_EQ(vertical.width(), 3);
        EXPECT_EQ(vertical.height(), 100);

        // Blended by its alpha: a half-transparent white bar over black is mid grey.
        clear();
        Kestrane::Line half_transparent(&window, {1, 1, 1, 0.5f});
        half_transparent.draw({{20, 50}, {80, 50}}, 5.0f);
        const Rgba grey = frame().at(50, 50);
        EXPECT_NEAR(grey.r, 128, 1);
        EXPECT_EQ(grey.g, grey.r);
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
    }

    TEST_F(Line_Test, RepeatedPointsDrawLikeTheDistinctOnes)
    {
        Kestrane::Line line(&window, {1, 1, 1, 1});
        line.draw({{20, 40}, {60, 40}, {60, 40}, {100, 70}}, 5.0f);
        const Frame with_repeat = frame();
        clear();
        line.draw({{20, 40}, {60, 40}, {100, 70}}, 5.0f);
        const Frame without = frame();
        EXPECT_GT(without.lit_count(), 0);
        EXPECT_TRUE(with_repeat == without);
    }

    TEST_F(Line_Test, SharpTurnIsCutSquareWithoutASpike)
    {
        const float half = 5.0f;
        const Float2 a{30, 60}, b{130, 60};
        // A turn of 150 degrees at b.
        const double turn = 150.0 * std::acos(-1.0) / 180.0;
        const Float2 c{b.x + static_cast<float>(70 * std::cos(turn)), b.y + static_cast<float>(70 * std::sin(turn))};
        Kestrane::Line line(&window, {1, 1, 1, 1});
        line.draw({a, b, c}, 2 * half);
        const Frame drawn = frame();
        int far_pixels = 0;
        for (int y = 0; y < drawn.height; ++y)
            for (int x = 0; x < drawn.width; ++x)
                if (drawn.lit(x, y))
                {
                    const double d = std::fmin(distance_to_segment(x + 0.5, y + 0.5, a, b),
                                               distance_to_segment(x + 0.5, y + 0.5, b, c));
                    far_pixels += d > half + 1.0 ? 1 : 0;
                }
        EXPECT_EQ(far_pixels, 0);
        // A miter there would reach about 19 pixels past the corner.
        EXPECT_LE(drawn.lit_box().right, static_cast<int>(b.x + half) + 1);
        // The band itself is drawn along both segments.
        EXPECT_TRUE(drawn.lit(80, 60));
        EXPECT_TRUE(drawn.lit(static_cast<int>((b.x + c.x) / 2), static_cast<int>((b.y + c.y) / 2)));
    }

    TEST_F(Line_Test, FewerThanTwoDistinctPointsDrawNothing)
    {
        Kestrane::Line line(&window, {1, 1, 1, 1});
        line.draw({}, 5.0f);
        line.draw({{40, 40}}, 5.0f);
        line.draw({{40, 40}, {40, 40}, {40, 40}}, 5.0f);
        expect_no_gl_error();
        EXPECT_EQ(frame().lit_count(), 0);
    }

    TEST_F(Line_Test, WaveformOfManyPointsIsOneBandInItsColour)
    {
        std::vector<Float2> points;
        for (int i = 0; i < 200; ++i)
            points.push_back({static_cast<float>(i), 80.0f + 30.0f * static_cast<float>(std::sin(i / 10.0))});
        Kestrane::Line line(&window, {0, 1, 0, 1});
        line.draw(points, 1.0f);
        const Frame drawn = frame();
        for (int x = 5; x < 195; x += 10)
        {
            int lit_in_column = 0;
            for (int y = 0; y < drawn.height; ++y)
                if (drawn.lit(x, y))
                {
                    ++lit_in_column;
                    EXPECT_EQ(drawn.at(x, y), (Rgba{0, 255, 0, 255}));
                }
            EXPECT_GE(lit_in_column, 1) << "gap at column " << x;
        }
    }
}
