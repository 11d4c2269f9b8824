// Natural ordering of names in portable code, for the systems whose own logical comparison
// is missing (on Windows the shell's StrCmpLogicalW takes its place).
#pragma once

#include <string_view>

namespace Platform
{
    // Any thread; does not block; throws nothing. The contract of logical_compare.
    int natural_compare(std::string_view a, std::string_view b);
}
