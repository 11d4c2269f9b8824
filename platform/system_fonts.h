// The system's fonts: which installed font file draws a character that the program's own
// fonts lack, so names in any script the system can show are drawn. One implementation per
// system (fontconfig on Linux, the registered fonts on Windows).
#pragma once

#include <optional>
#include <string>

namespace Platform
{
    struct Font_File
    {
        std::string path; // the font file
        int index = 0;    // the face within it (font collections hold several)
    };

    // Main thread; may block for a moment the first time (the system reads its font list). A
    // scalable, single-colour font that has `c`, the sans-serif faces first; none when no
    // installed font has it or the font list cannot be read.
    std::optional<Font_File> system_font_for(char32_t c);
}
