// Fonts: a TrueType face from memory at one pixel size, with the system's fonts behind it for
// the characters it lacks. Text is shaped with HarfBuzz; each glyph is rendered by FreeType
// the first time it is used and kept, with its metrics, for the texts that draw it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/math.h"

namespace Kestrane
{
    class Window;

    struct Character
    {
        std::vector<unsigned char> image; // coverage, size.x per row, row 0 at the top
        Int2 size;                        // bitmap width and rows, pixels
        Int2 bearing;                     // pen on the baseline to the image's top-left corner, y down
        int32_t advance = 0;              // pen step to the next glyph, whole pixels
    };

    struct Measurement
    {
        int32_t width = 0;   // sum of the advances, pixels
        int32_t height = 0;  // ascent + descent
        int32_t ascent = 0;  // extent above the baseline
        int32_t descent = 0; // extent below the baseline
        friend bool operator==(const Measurement&, const Measurement&) = default;
    };

    // One glyph of a shaped string.
    struct Placed_Glyph
    {
        const Character* character = nullptr; // owned by the font, valid while it lives
        Int2 pen;                             // glyph origin from the start of the baseline, pixels, y down
        uint32_t face = 0;                    // 0: the font's own face; above: a system font
        uint32_t index = 0;                   // glyph index in that face
    };

    struct Shaped_Text
    {
        std::vector<Placed_Glyph> glyphs; // left to right as drawn
        Measurement measured;
    };

    class Font
    {
    public:
        // Main thread. `data` (TrueType bytes) need only live during the
        // call. Throws Kestrane::Exception when FreeType cannot read the face.
        Font(Window* window, const unsigned char* data, std::size_t size, uint32_t pixel_size);
        ~Font();
        Font(const Font&) = delete; // glyphs point into the font
        Font& operator=(const Font&) = delete;

        // Main thread. Lays out `text`, UTF-8 with any invalid byte read as Latin-1: characters the font's face
        // lacks come from a system font that has them, a character no font has shows as a
        // replacement, control characters as a space (tab, line breaks) or a replacement.
        // Throws nothing for any text.
        Shaped_Text shape(std::string_view text) const;

        // Width, height, ascent and descent of `text` as shape() lays it out.
        Measurement measure(std::string_view text) const { return shape(text).measured; }

        // The record of glyph `index` of `face`, rendered on first use.
        const Character& glyph(uint32_t face, uint32_t index) const;

        uint32_t pixel_size; // nominal pixel height
        Window* window;      // not owned
        std::string name;    // the face's family name
        int32_t height = 0;  // line height: bounding-box top in font units >> 6, unscaled
        mutable std::unordered_map<uint64_t, Character> glyphs; // by face << 32 | index, as used

        struct Faces; // the FreeType and HarfBuzz faces and the system fonts
    private:
        std::unique_ptr<Faces> faces;
    };
}
