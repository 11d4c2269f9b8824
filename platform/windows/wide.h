// UTF-8 inside the program, UTF-16 at the Windows API: names beyond the ANSI code page
// ("Björk", "日本語") survive whatever code page the system runs.
#pragma once

#include <string>
#include <string_view>

namespace Platform
{
    // Any thread; throws std::bad_alloc only. Invalid UTF-8 becomes U+FFFD.
    std::wstring to_wide(std::string_view utf8);

    // Any thread; throws std::bad_alloc only. Unpaired surrogates become U+FFFD.
    std::string to_utf8(std::wstring_view wide);
}
