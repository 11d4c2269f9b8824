// The system's fonts through fontconfig: which installed font file draws a character that the
// program's own fonts lack, so names in any script the system can show are drawn.
#pragma once

#include <optional>
#include <string>

namespace Kestrane
{
    struct Font_File
    {
        std::string path; // the font file
        int index = 0;    // the face within it (font collections hold several)
    };

    // Main thread; may block for a moment the first time (fontconfig reads its cache). A
    // scalable, single-colour font that has `c`, the sans-serif faces first; none when no
    // installed font has it or fontconfig cannot be read.
    std::optional<Font_File> system_font_for(char32_t c);
}
