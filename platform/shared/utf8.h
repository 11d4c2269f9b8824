// File names as text: Linux names are UTF-8 bytes, but older libraries hold names written in
// a single-byte code page. Bytes that do not form valid UTF-8 are read as Latin-1, so that
// every name decodes to something readable and nothing is lost.
#pragma once

#include <string_view>

namespace Platform
{
    // Any thread. The code point at the front of `text`, taken off it: a valid UTF-8 sequence
    // (shortest form, no surrogates, at most U+10FFFF) decodes as such; any other byte
    // becomes the Latin-1 character of its value on its own. `text` must not be empty.
    inline char32_t take_code_point(std::string_view& text)
    {
        const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
        const unsigned char lead = byte(0);
        size_t length = 1;
        char32_t value = lead;
        char32_t smallest = 0;
        if (lead >= 0xC2 && lead <= 0xDF)
            length = 2, value = lead & 0x1F, smallest = 0x80;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3, value = lead & 0x0F, smallest = 0x800;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4, value = lead & 0x07, smallest = 0x10000;
        bool valid = length <= text.size();
        for (size_t i = 1; valid && i < length; ++i)
        {
            valid = (byte(i) & 0xC0) == 0x80;
            value = (value << 6) | (byte(i) & 0x3F);
        }
        valid = valid && value >= smallest && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
        if (!valid)
            length = 1, value = lead;
        text.remove_prefix(length);
        return value;
    }
}
