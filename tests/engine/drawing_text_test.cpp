// Fonts and text: the embedded faces, glyphs loaded as used, measurement, alignment, clipping
// and the marquee, checked on the pixels drawn into a real window.
#include <ft2build.h>
#include FT_FREETYPE_H

#include "engine/font.h"
#include "engine/text.h"

#include "assets/assets.h"
#include "drawing_support.h"

namespace
{
    using namespace drawing_test;
    using Kestrane::Measurement;

    struct Text_Test : Drawing_Test
    {
        const Corvane::Assets::Embedded_File& data = Corvane::Assets::open_sans_regular;
        Kestrane::Font font{&window, data.data, data.size, 15};
        const Color white{1, 1, 1, 1};

        // The glyph record of one character as the font draws it.
        const Kestrane::Character& character(const std::string& c) const
        {
            return *font.shape(c).glyphs.at(0).character;
        }

        // Lit pixels of a column within rows [top, bottom).
        static bool column_lit(const Frame& frame, int x, int top, int bottom)
        {
            for (int y = top; y < bottom; ++y)
                if (frame.lit(x, y))
                    return true;
            return false;
        }
    };

    // FreeType's own image of `c`, rendered the way the font renders its glyphs.
    struct Glyph_Image
    {
        int left = 0, top = 0; // from the pen on the baseline to the top-left pixel, y up
        int width = 0, rows = 0;
        std::vector<uint8_t> coverage; // row by row from the top
        int at(int x, int y) const { return coverage[size_t(y * width + x)]; }
    };

    Glyph_Image freetype_image(const Corvane::Assets::Embedded_File& data, char c, unsigned pixels)
    {
        FT_Library library = nullptr;
        FT_Face face = nullptr;
        Glyph_Image image;
        if (FT_Init_FreeType(&library) != 0 ||
            FT_New_Memory_Face(library, data.data, FT_Long(data.size), 0, &face) != 0)
        {
            ADD_FAILURE() << "FreeType cannot read the font";
            return image;
        }
        FT_Set_Pixel_Sizes(face, 0, pixels);
        FT_Load_Char(face, FT_ULong(c), FT_LOAD_RENDER | FT_LOAD_FORCE_AUTOHINT);
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        image = {face->glyph->bitmap_left, face->glyph->bitmap_top, int(bitmap.width), int(bitmap.rows), {}};
        for (int y = 0; y < image.rows; ++y)
            for (int x = 0; x < image.width; ++x)
                image.coverage.push_back(bitmap.buffer[y * bitmap.pitch + x]);
        FT_Done_Face(face);
        FT_Done_FreeType(library);
        return image;
    }

    TEST_F(Text_Test, EmbeddedFontsHaveTheirFacesAndGlyphs)
    {
        EXPECT_EQ(data.size, 217360u);
        EXPECT_EQ(font.name, "Open Sans");
        EXPECT_EQ(font.height, 33); // the bounding-box top, 2146 units, shifted without scaling
        EXPECT_EQ(font.pixel_size, 15u);
        EXPECT_TRUE(font.glyphs.empty()) << "glyphs are rendered when first used";
        font.measure("Hello");
        EXPECT_EQ(font.glyphs.size(), 4u);
        font.measure("Hello, Hell");
        EXPECT_EQ(font.glyphs.size(), 6u) << "a glyph once rendered is kept";
        EXPECT_GT(character("H").advance, 0);
        EXPECT_EQ(character(" ").size, (Int2{0, 0}));

        const auto& status = Corvane::Assets::comfortaa_regular;
        Kestrane::Font status_font(&window, status.data, status.size, 13);
        EXPECT_EQ(status_font.name, "Comfortaa");
        EXPECT_TRUE(status_font.glyphs.empty());
        expect_no_gl_error();
    }

    TEST_F(Text_Test, MeasureAddsAdvancesAndTakesTheExtremes)
    {
        EXPECT_EQ(font.measure(""), Measurement{});
        const Measurement h = font.measure("H"), g = font.measure("g"), hg = font.measure("Hg");
        EXPECT_EQ(hg.width, h.width + g.width);
        EXPECT_EQ(hg.ascent, h.ascent);
        EXPECT_EQ(hg.descent, g.descent);
        EXPECT_EQ(hg.height, hg.ascent + hg.descent);
        EXPECT_GT(hg.descent, 0);
        EXPECT_GT(h.ascent, 8);
        EXPECT_LT(h.ascent, 15);
    }

    TEST_F(Text_Test, SettingTheSameStringDoesNotMeasureAgain)
    {
        Kestrane::Text text(&window, &font, "Corvane", {0, 0}, white, 1);
        EXPECT_EQ(text.measured, font.measure("Corvane"));
        text.measured = {};
        text.set_string("Corvane");
        EXPECT_EQ(text.measured, Measurement{});
        text.set_string("Loading");
        EXPECT_EQ(text.string, "Loading");
        EXPECT_EQ(text.measured, font.measure("Loading"));

        // Without a font nothing is measured, and nothing is drawn.
        Kestrane::Text label;
        label.set_string("name");
        EXPECT_EQ(label.measured, Measurement{});
        label.draw();
    }

    TEST_F(Text_Test, AlignmentsPlaceTheText)
    {
        const Measurement m = font.measure("H");
        const auto draw = [&](uint32_t alignment)
        {
            clear();
            Kestrane::Text text(&window, &font, "H", {100, 80}, white, alignment);
            text.draw();
            return frame().lit_box();
        };
        const Box top_left = draw(0);
        EXPECT_EQ(top_left.top, 80);
        EXPECT_EQ(top_left.bottom, 80 + m.ascent - 1);
        EXPECT_GE(top_left.left, 100);
        EXPECT_LE(top_left.left, 102);

        const Box baseline = draw(1);
        EXPECT_EQ(baseline.bottom, 79);
        EXPECT_EQ(baseline.left, top_left.left);
        EXPECT_EQ(draw(9).left, top_left.left);

        const Box middle = draw(2);
        EXPECT_EQ(middle.bottom, 79);
        EXPECT_NEAR((middle.left + middle.right + 1) / 2.0, 100, 1.5);

        const Box centre = draw(3);
        EXPECT_EQ(centre.top, 80 - m.height / 2);
        EXPECT_NEAR((centre.left + centre.right + 1) / 2.0, 100, 1.5);
    }

    TEST_F(Text_Test, GlyphsAreDrawnUprightUnmirroredWithTheirCoverageAsIntensity)
    {
        // Light text on black shows each glyph's own coverage: the glyph image neither
        // flipped nor mirrored (neither character is symmetric), and its soft edges not
        // darkened by a second multiplication with the coverage. Half a pixel to the right
        // (a scrolling marquee), each pixel lies between two texels and shows their mean.
        for (const float shift : {0.0f, 0.5f})
            for (const char c : {'L', '7'})
            {
                clear();
                Kestrane::Text text(&window, &font, std::string(1, c), {100 + shift, 80}, white, 1);
                text.draw();
                const Frame drawn = frame();
                const Glyph_Image image = freetype_image(data, c, 15);
                ASSERT_GT(image.width * image.rows, 20) << c;
                int edges = 0, wrong = 0;
                std::string first_wrong;
                for (int y = 0; y < image.rows; ++y)
                    for (int x = 0; x < image.width; ++x)
                    {
                        const int expected =
                            shift == 0.0f ? image.at(x, y) : (image.at(std::max(x - 1, 0), y) + image.at(x, y)) / 2;
                        edges += expected > 50 && expected < 200 ? 1 : 0;
                        const Rgba pixel = drawn.at(100 + image.left + x, 80 - image.top + y);
                        if ((std::abs(pixel.r - expected) > 2 || pixel.g != pixel.r || pixel.b != pixel.r) &&
                            wrong++ == 0)
                            first_wrong = std::to_string(x) + ", " + std::to_string(y) + ": " +
                                          std::to_string(pixel.r) + " for coverage " + std::to_string(expected);
                    }
                EXPECT_EQ(wrong, 0) << c << " shifted by " << shift << ", first at " << first_wrong;
                EXPECT_GT(edges, 2) << c << ": no soft edge to tell the blending apart";
            }
    }

    TEST_F(Text_Test, DrawsOnlyInsideItsClipBox)
    {
        const std::string words = "Wide words WWW run past the box";
        Kestrane::Text unclipped(&window, &font, words, {10, 60}, white, 1);
        EXPECT_EQ(unclipped.clip_size, window.size); // the default clip is the whole window
        unclipped.draw();
        const Box whole = frame().lit_box();
        EXPECT_LT(whole.left, 30);
        EXPECT_GT(whole.right, 80);

        clear();
        Kestrane::Text clipped(&window, &font, words, {10, 60}, white, 1, {30, 40}, {50, 40});
        clipped.draw();
        const Frame drawn = frame();
        const Box box = drawn.lit_box();
        ASSERT_FALSE(box.empty());
        EXPECT_GE(box.left, 30);
        EXPECT_LE(box.right, 79);
        EXPECT_GE(box.top, 40);
        EXPECT_LE(box.bottom, 79);
        EXPECT_GT(drawn.lit_count(), 50);
        EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        expect_no_gl_error();
    }

    TEST_F(Text_Test, TextOutsideItsClipBoxSetsNoGlState)
    {
        glUseProgram(0);
        // Baseline at 30, clip box from row 100 down: wholly above it.
        Kestrane::Text above(&window, &font, "Above", {10, 30}, white, 1, {0, 100}, {200, 20});
        above.draw();
        // Baseline at 150, clip box ending at row 60: wholly below it.
        Kestrane::Text below(&window, &font, "Below", {10, 150}, white, 1, {0, 40}, {200, 20});
        below.draw();
        GLint program = -1;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        EXPECT_EQ(program, 0);
        EXPECT_EQ(frame().lit_count(), 0);
    }

    TEST_F(Text_Test, TextsDrawTheSameWhenTheSharedImageStoreFillsAndStartsOver)
    {
        Kestrane::Text first(&window, &font, "First name", {10, 30}, white, 1);
        Kestrane::Text last(&window, &font, "Last name", {10, 80}, white, 1);
        {
            Kestrane::Text_Pass pass(&window, {0, 0}, window.size);
            pass.draw(first);
            pass.draw(last);
        }
        const Frame alone = frame();

        // Enough names two slots wide to fill the store, placed beside the window: they take
        // room but draw nothing. The one queued before them must be drawn from what it put
        // in, and the later one, and the first again in the next frame, from what they put
        // in afresh.
        const int side = Kestrane::Text_Atlas::current().side;
        std::vector<Kestrane::Text> fillers;
        for (int i = 0; i < side / 8; ++i)
            fillers.emplace_back(&window, &font, std::string(size_t(side / 6), 'W'), Kestrane::Float2{5000, 50}, white,
                                 1);
        const uint64_t filling = Kestrane::Text_Atlas::current().filling;
        clear();
        {
            Kestrane::Text_Pass pass(&window, {0, 0}, window.size);
            pass.draw(first);
            for (Kestrane::Text& filler : fillers)
                pass.draw(filler);
            pass.draw(last);
        }
        EXPECT_NE(Kestrane::Text_Atlas::current().filling, filling) << "the store never started over";
        EXPECT_TRUE(frame() == alone);

        clear();
        {
            Kestrane::Text_Pass pass(&window, {0, 0}, window.size);
            pass.draw(first);
            pass.draw(last);
        }
        EXPECT_TRUE(frame() == alone);
        expect_no_gl_error();
    }

    TEST_F(Text_Test, NarrowMarqueeStaysCentred)
    {
        const Int2 clip_position{40, 60}, clip_size{120, 30};
        Kestrane::Text text(&window, &font, "Hi", {0, 0}, white, 4, clip_position, clip_size);
        window.delta_time = 0.5f;
        text.draw();
        const Frame first = frame();
        EXPECT_EQ(text.scroll, 0.0f);
        clear();
        text.draw();
        EXPECT_TRUE(frame() == first);
        const Box box = first.lit_box();
        EXPECT_NEAR((box.left + box.right + 1) / 2.0, 100, 1.5);
        EXPECT_EQ(box.bottom, 74); // baseline on the box's middle row, 60 + 30 / 2

        clear();
        Kestrane::Text lowered(&window, &font, "Hi", {0, 0}, white, 5, clip_position, clip_size);
        lowered.draw();
        EXPECT_EQ(frame().lit_box().bottom, 74 + text.measured.ascent / 2);
    }

    TEST_F(Text_Test, WideMarqueeMovesSixtyPixelsASecondAndWrapsWithAGap)
    {
        const Int2 clip_position{40, 60}, clip_size{120, 30};
        const int top = clip_position.y, bottom = clip_position.y + clip_size.y;
        const std::string line = "The quick brown fox jumps over the lazy dog";
        Kestrane::Text text(&window, &font, line, {0, 0}, white, 4, clip_position, clip_size);
        const int w = text.measured.width;
        const float period = static_cast<float>(15 + w);
        ASSERT_GT(w, clip_size.x);

        window.delta_time = 0.0f;
        text.draw();
        const Frame still = frame();
        clear();
        window.delta_time = 0.5f;
        text.draw();
        EXPECT_FLOAT_EQ(text.scroll, 30.0f);
        const Frame moved = frame();
        for (int x = clip_position.x + 30; x < clip_position.x + clip_size.x; ++x)
            for (int y = top; y < bottom; ++y)
                ASSERT_EQ(moved.at(x, y), still.at(x - 30, y)) << "at " << x << ", " << y;
        const Box box = moved.lit_box();
        EXPECT_GE(box.left, clip_position.x);
        EXPECT_LE(box.right, clip_position.x + clip_size.x - 1);

        // Past one period it starts again.
        text.scroll = period - 10.0f;
        text.draw();
        EXPECT_FLOAT_EQ(text.scroll, 20.0f);

        // With the start of the text 60 pixels into the box, the copy entering from the left
        // ends one pixel size (plus the glyphs' side bearings) before it.
        clear();
        window.delta_time = 0.0f;
        text.scroll = static_cast<float>(w / 2);
        text.draw();
        const Frame wrapped = frame();
        const int start = clip_position.x + 60;
        const Kestrane::Character& first = character("T");
        const Kestrane::Character& last = character("g");
        const int main_left = start + first.bearing.x;
        const int copy_right = start - 15 - last.advance + last.bearing.x + last.size.x; // one past the copy
        EXPECT_TRUE(column_lit(wrapped, main_left, top, bottom));
        EXPECT_TRUE(column_lit(wrapped, copy_right - 1, top, bottom));
        for (int x = copy_right; x < main_left; ++x)
            EXPECT_FALSE(column_lit(wrapped, x, top, bottom)) << "gap column " << x;
        EXPECT_GE(main_left - copy_right, 15);
    }
}
