// Names as people write them, drawn into a real window: UTF-8 letters as one glyph each with
// Open Sans's own metrics (read here with FreeType, not through the code under test),
// decomposed accents on their letter, scripts the embedded face lacks from the system's fonts,
// right-to-left names, and characters no font has, control characters and bytes that are not
// UTF-8, none of which may stop the player.
#include <ft2build.h>
#include FT_FREETYPE_H

#include "assets/assets.h"
#include "drawing_support.h"
#include "engine/font.h"
#include "engine/text.h"

namespace
{
    using namespace drawing_test;

    // Open Sans at the player's size, as FreeType renders it on its own.
    struct Reference_Face
    {
        FT_Library library = nullptr;
        FT_Face face = nullptr;
        Reference_Face()
        {
            const auto& data = Corvane::Assets::open_sans_regular;
            FT_Init_FreeType(&library);
            FT_New_Memory_Face(library, data.data, FT_Long(data.size), 0, &face);
            FT_Set_Pixel_Sizes(face, 0, 15);
        }
        ~Reference_Face()
        {
            FT_Done_Face(face);
            FT_Done_FreeType(library);
        }
        struct Glyph
        {
            int advance, left, width;
        };
        Glyph glyph(char32_t c) const
        {
            FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_FORCE_AUTOHINT);
            return {int(face->glyph->advance.x >> 6), face->glyph->bitmap_left, int(face->glyph->bitmap.width)};
        }
        uint32_t index(char32_t c) const { return FT_Get_Char_Index(face, c); }
    };

    struct Scripts_Test : Drawing_Test
    {
        const Corvane::Assets::Embedded_File& data = Corvane::Assets::open_sans_regular;
        Kestrane::Font font{&window, data.data, data.size, 15};
        Reference_Face reference;

        // The frame after drawing `text` with its baseline's left end at (x, 60).
        Frame drawn(const std::string& text, float x = 20.0f)
        {
            clear();
            Kestrane::Text label(&window, &font, text, {x, 60.0f}, {1, 1, 1, 1}, 1);
            label.draw();
            return frame();
        }

        // The glyph that the font alone gives `c` (face and index), to name glyphs by.
        std::pair<uint32_t, uint32_t> alone(const std::string& c) const
        {
            const Kestrane::Placed_Glyph g = font.shape(c).glyphs.at(0);
            return {g.face, g.index};
        }
    };

    TEST_F(Scripts_Test, Utf8LettersAreOneGlyphWithOpenSansMetrics)
    {
        const Kestrane::Shaped_Text bjork = font.shape("Bj\xc3\xb6rk");
        ASSERT_EQ(bjork.glyphs.size(), 5u);
        const Reference_Face::Glyph B = reference.glyph('B'), j = reference.glyph('j'), o = reference.glyph(U'\u00f6'),
                                    r = reference.glyph('r'), k = reference.glyph('k');
        EXPECT_EQ(bjork.glyphs[2].index, reference.index(U'\u00f6'));
        EXPECT_EQ(bjork.glyphs[3].pen.x - bjork.glyphs[2].pen.x, o.advance);
        EXPECT_EQ(bjork.measured.width, B.advance + j.advance + o.advance + r.advance + k.advance);

        // Ink from B's left edge to k's right edge, and the "ö" alone as wide as its bitmap.
        const Box whole = drawn("Bj\xc3\xb6rk").lit_box();
        EXPECT_EQ(whole.left, 20 + B.left);
        EXPECT_NEAR(whole.right + 1, 20 + B.advance + j.advance + o.advance + r.advance + k.left + k.width, 1);
        const Box umlaut = drawn("\xc3\xb6").lit_box();
        EXPECT_EQ(umlaut.left, 20 + o.left);
        EXPECT_NEAR(umlaut.width(), o.width, 1);

        // A decomposed accent (as copied from macOS) has the ink of the precomposed letter.
        const Frame precomposed = drawn("J\xc3\xb3ga");
        const Frame decomposed = drawn("Jo\xcc\x81ga");
        const Box p = precomposed.lit_box(), d = decomposed.lit_box();
        EXPECT_NEAR(d.left, p.left, 1);
        EXPECT_NEAR(d.right, p.right, 2);
        EXPECT_NEAR(d.top, p.top, 2);
        EXPECT_NEAR(d.bottom, p.bottom, 1);
        EXPECT_NEAR(decomposed.lit_count(), precomposed.lit_count(), precomposed.lit_count() / 10);
    }

    TEST_F(Scripts_Test, CharactersOpenSansLacksComeFromASystemFont)
    {
        const Kestrane::Shaped_Text cjk = font.shape("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"); // 日本語
        ASSERT_EQ(cjk.glyphs.size(), 3u);
        for (const Kestrane::Placed_Glyph& g : cjk.glyphs)
        {
            EXPECT_NE(g.face, 0u) << "Open Sans has no CJK";
            EXPECT_NE(g.index, 0u) << "not the .notdef box";
        }
        EXPECT_NE(cjk.glyphs[0].index, cjk.glyphs[1].index);
        EXPECT_GE(cjk.measured.width, 3 * 12) << "three ideographs, each about an em wide";
        const Box ink = drawn("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e").lit_box();
        EXPECT_GE(ink.width(), 3 * 11);
        EXPECT_GE(ink.height(), 10);

        // Latin letters around them stay in Open Sans.
        const Kestrane::Shaped_Text mixed = font.shape("A \xe6\x97\xa5");
        EXPECT_EQ(mixed.glyphs[0].face, 0u);
        EXPECT_EQ(mixed.glyphs[2].face, cjk.glyphs[0].face);
    }

    TEST_F(Scripts_Test, RightToLeftNamesReadRightToLeftAndArabicJoins)
    {
        // Hebrew "shalom" then a number: the letters are drawn last to first, right of the
        // number, which still reads 1, 2.
        const Kestrane::Shaped_Text hebrew = font.shape("\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d 12");
        const std::vector<std::pair<uint32_t, uint32_t>> expected = {
            alone("1"),        alone("2"),        alone(" "),       alone("\xd7\x9d"),
            alone("\xd7\x95"), alone("\xd7\x9c"), alone("\xd7\xa9")};
        ASSERT_EQ(hebrew.glyphs.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
        {
            EXPECT_EQ(std::make_pair(hebrew.glyphs[i].face, hebrew.glyphs[i].index), expected[i]) << "glyph " << i;
            if (i > 0)
            {
                EXPECT_GT(hebrew.glyphs[i].pen.x, hebrew.glyphs[i - 1].pen.x) << "glyph " << i;
            }
        }
        ASSERT_NE(expected[3].first, 0u) << "Hebrew comes from a system font";

        // In a line that starts in Latin, a Hebrew word stays in its place and reads right
        // to left.
        const Kestrane::Shaped_Text mixed = font.shape("A1 \xd7\xa9\xd7\x9c");
        ASSERT_EQ(mixed.glyphs.size(), 5u);
        EXPECT_EQ(std::make_pair(mixed.glyphs[1].face, mixed.glyphs[1].index), alone("1"));
        EXPECT_EQ(std::make_pair(mixed.glyphs[3].face, mixed.glyphs[3].index), alone("\xd7\x9c"));
        EXPECT_EQ(std::make_pair(mixed.glyphs[4].face, mixed.glyphs[4].index), alone("\xd7\xa9"));

        // Arabic "bayt": three letters joined, each in a form other than its isolated one,
        // the first letter rightmost.
        const Kestrane::Shaped_Text arabic = font.shape("\xd8\xa8\xd9\x8a\xd8\xaa");
        ASSERT_EQ(arabic.glyphs.size(), 3u);
        EXPECT_NE(arabic.glyphs[2].index, alone("\xd8\xa8").second) << "initial beh";
        EXPECT_NE(arabic.glyphs[1].index, alone("\xd9\x8a").second) << "medial yeh";
        EXPECT_NE(arabic.glyphs[0].index, alone("\xd8\xaa").second) << "final teh";
        EXPECT_GT(drawn("\xd8\xa8\xd9\x8a\xd8\xaa").lit_count(), 20);
    }

    TEST_F(Scripts_Test, NoNameStopsThePlayer)
    {
        // A character that no font has (an unassigned code point) draws the replacement
        // character between its neighbours.
        const Frame missing = drawn("a\xcd\xb8"
                                    "b");
        EXPECT_EQ(missing, drawn("a\xef\xbf\xbd"
                                 "b"));
        EXPECT_GT(missing.lit_count(), drawn("a b").lit_count() + 20) << "the replacement is visible";

        // Tabs and line breaks show as a space; other control characters as the replacement.
        EXPECT_EQ(drawn("a\tb"), drawn("a b"));
        EXPECT_EQ(drawn("a\nb"), drawn("a b"));
        EXPECT_EQ(drawn("a\x01"
                        "b"),
                  drawn("a\xef\xbf\xbd"
                        "b"));

        // Bytes that are not UTF-8 read as Latin-1: "Björk" from an older library.
        EXPECT_EQ(drawn("Bj\xf6rk"), drawn("Bj\xc3\xb6rk"));
        EXPECT_EQ(drawn("\xe9t\xe9"), drawn("\xc3\xa9t\xc3\xa9"));
        EXPECT_EQ(drawn("\xc3(\xff"), drawn("\xc3\x83(\xc3\xbf")) << "a broken sequence keeps every byte";
        expect_no_gl_error();
    }
}
