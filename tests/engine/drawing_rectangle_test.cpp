// Flat-colour rectangles drawn into a real window and read back pixel by pixel.
#include "engine/rectangle.h"

#include "drawing_support.h"

namespace
{
    using namespace drawing_test;
    using Rectangle_Test = Drawing_Test;

    TEST_F(Rectangle_Test, CoversExactlyItsPixels)
    {
        Kestrane::Rectangle rectangle(&window, {1, 1, 1, 1}, {10, 20}, {3, 3});
        rectangle.draw();
        expect_no_gl_error();
        const Frame drawn = frame();
        Box box = drawn.lit_box();
        EXPECT_EQ(box.left, 10);
        EXPECT_EQ(box.right, 12);
        EXPECT_EQ(box.top, 20);
        EXPECT_EQ(box.bottom, 22);
        EXPECT_EQ(drawn.lit_count(), 9);
        EXPECT_EQ(drawn.at(11, 21), (Rgba{255, 255, 255, 255}));
    }

    TEST_F(Rectangle_Test, AlphaBlendsWithWhatLiesBehind)
    {
        Kestrane::Rectangle background(&window, {0, 0, 1, 1}, {0, 0}, {100, 100});
        background.draw();
        Kestrane::Rectangle invisible(&window, {1, 0, 0, 0}, {10, 10}, {20, 20});
        invisible.draw();
        Kestrane::Rectangle half(&window, {1, 0, 0, 0.5f}, {50, 10}, {20, 20});
        half.draw();
        const Frame drawn = frame();
        EXPECT_EQ(drawn.at(15, 15), (Rgba{0, 0, 255, 255}));
        const Rgba blended = drawn.at(55, 15);
        EXPECT_NEAR(blended.r, 128, 1);
        EXPECT_EQ(blended.g, 0);
        EXPECT_NEAR(blended.b, 128, 1);
    }

    TEST_F(Rectangle_Test, FieldChangesTakeEffectAtTheNextDraw)
    {
        Kestrane::Rectangle rectangle(&window, {1, 0, 0, 1}, {10, 10}, {5, 5});
        rectangle.draw();
        rectangle.position = {100.0f, 50.0f};
        rectangle.size = {2.0f, 4.0f};
        rectangle.color = {0, 1, 0, 1};
        rectangle.draw();
        const Frame drawn = frame();
        EXPECT_EQ(drawn.at(12, 12), (Rgba{255, 0, 0, 255}));
        EXPECT_EQ(drawn.at(100, 50), (Rgba{0, 255, 0, 255}));
        EXPECT_EQ(drawn.at(101, 53), (Rgba{0, 255, 0, 255}));
        EXPECT_TRUE(drawn.at(102, 50).dark());
        EXPECT_TRUE(drawn.at(100, 54).dark());
        EXPECT_EQ(drawn.lit_count(), 25 + 8);
    }
}
