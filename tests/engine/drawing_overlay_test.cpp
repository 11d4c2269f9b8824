// The window's overlays: the software cursor (placement, colour, fading, hidden during a
// Ctrl-drag) and the status text in the top-left corner.
#include "drawing_support.h"
#include "support/synthetic_input.h"

namespace
{
    using namespace drawing_test;

    struct Overlay_Test : Drawing_Test
    {
        // Draws only the overlays on a cleared buffer, with the cursor at (50, 60).
        Frame overlays_with_cursor(Color color)
        {
            clear();
            window.cursor_in_window = {50, 60};
            window.cursor_color = color;
            window.draw_overlays();
            return frame();
        }
    };

    TEST_F(Overlay_Test, CursorIsThreePixelsSquareInTheCursorColour)
    {
        const Frame drawn = overlays_with_cursor({0, 1, 0, 1});
        const Box box = drawn.lit_box();
        EXPECT_EQ(box.left, 50);
        EXPECT_EQ(box.top, 60);
        EXPECT_EQ(box.width(), 3);
        EXPECT_EQ(box.height(), 3);
        EXPECT_EQ(drawn.lit_count(), 9);
        EXPECT_EQ(drawn.at(51, 61), (Rgba{0, 255, 0, 255}));
        expect_no_gl_error();

        const Rgba half = overlays_with_cursor({0, 1, 0, 0.5f}).at(51, 61);
        EXPECT_NEAR(half.g, 128, 1);
    }

    TEST_F(Overlay_Test, CursorIsHiddenDuringACtrlDragOnly)
    {
        const Color green{0, 1, 0, 1};
        window.held[Kestrane::key_ctrl] = true;
        EXPECT_EQ(overlays_with_cursor(green).lit_count(), 9) << "Ctrl alone";
        window.held[Kestrane::button_left] = true;
        EXPECT_EQ(overlays_with_cursor(green).lit_count(), 0) << "Ctrl + left button";
        window.held[Kestrane::button_left] = false;
        window.held[Kestrane::button_right] = true;
        EXPECT_EQ(overlays_with_cursor(green).lit_count(), 0) << "Ctrl + right button";
        window.held[Kestrane::key_ctrl] = false;
        EXPECT_EQ(overlays_with_cursor(green).lit_count(), 9) << "right button alone";
    }

    TEST_F(Overlay_Test, CursorFadesOutAfterTwoStillSeconds)
    {
        Test_Support::Pointer_Lock pointer; // no other test moves it meanwhile
        Test_Support::move_cursor(400, 300);
        window.update();
        Test_Support::move_cursor(410, 300);
        window.update();
        ASSERT_EQ(window.cursor_color.a, 1.0f);
        EXPECT_EQ(overlays_with_cursor(window.cursor_color).lit_count(), 9);

        window.delta_time = 2.0f; // the mouse stays where it is for two seconds
        window.update();
        EXPECT_LE(window.cursor_color.a, 0.0f);
        EXPECT_EQ(overlays_with_cursor(window.cursor_color).lit_count(), 0);
    }

    TEST_F(Overlay_Test, StatusTextShowsTheWindowsStatusTopLeft)
    {
        window.status_text = std::string("m"); // a temporary: GCC 12 warns wrongly of an overlap on assigning a literal
        const Frame drawn = overlays_with_cursor({0, 0, 0, 0});
        const Box box = drawn.lit_box();
        ASSERT_FALSE(box.empty());
        EXPECT_LE(box.left, 2);
        EXPECT_GE(box.top, 0);
        EXPECT_LE(box.bottom, 13);
        // Coverage times (1.0, 16/255, 50/255): every pixel has the status colour's hue.
        int strongest = 0;
        for (int y = box.top; y <= box.bottom; ++y)
            for (int x = box.left; x <= box.right; ++x)
            {
                const Rgba p = drawn.at(x, y);
                strongest = std::max(strongest, p.r);
                EXPECT_NEAR(p.g, p.r * 16 / 255.0, 1.0) << x << ", " << y;
                EXPECT_NEAR(p.b, p.r * 50 / 255.0, 1.0) << x << ", " << y;
            }
        EXPECT_GE(strongest, 200);

        window.status_text = std::string("mm");
        const int wider = overlays_with_cursor({0, 0, 0, 0}).lit_box().width();
        EXPECT_GT(wider, box.width());

        window.status_text.clear();
        EXPECT_EQ(overlays_with_cursor({0, 0, 0, 0}).lit_count(), 0);
    }
}
