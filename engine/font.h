// Fonts: a TrueType face from memory at one pixel size, its characters 32 to 254 rendered once
// by FreeType into one single-channel texture each, with the metrics for laying out text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "engine/math.h"
#include "engine/texture.h"

namespace Kestrane
{
    class Window;

    struct Character
    {
        Texture texture;     // glyph coverage, row 0 at the top
        Int2 size;           // bitmap width and rows, pixels
        Int2 bearing;        // pen on the baseline to the image's top-left corner, y down
        int32_t advance = 0; // pen step to the next character, whole pixels
    };

    struct Measurement
    {
        int32_t width = 0;   // sum of the advances, pixels
        int32_t height = 0;  // ascent + descent
        int32_t ascent = 0;  // extent above the baseline
        int32_t descent = 0; // extent below the baseline
        friend bool operator==(const Measurement&, const Measurement&) = default;
    };

    class Font
    {
    public:
        // Main thread, context current. `data` (TrueType bytes) need only live during the
        // call. Throws Kestrane::Exception when FreeType cannot read the face.
        Font(Window* window, const unsigned char* data, std::size_t size, uint32_t pixel_size);

        // The record of byte `c`; throws Kestrane::Exception naming the value and this font
        // when the font has none (control characters and byte 255).
        const Character& character(char c) const;

        // Width, height, ascent and descent of `string`; throws like character().
        Measurement measure(const std::string& string) const;

        uint32_t pixel_size;                     // nominal pixel height
        Window* window;                          // not owned
        std::map<signed char, Character> glyphs; // codes 128..254 are keyed -128..-2
        std::string name;                        // the face's family name
        int32_t height = 0;                      // line height: bounding-box top in font units >> 6, unscaled
    };
}
