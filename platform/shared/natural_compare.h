// Natural ordering of names in portable code, for the systems whose own logical comparison
// is missing (on Windows the shell's StrCmpLogicalW takes its place).
#pragma once

#include <string>
#include <string_view>

namespace Platform
{
    // Any thread; does not block; throws nothing. The contract of logical_compare.
    int natural_compare(std::string_view a, std::string_view b);

    // Any thread; does not block; throws std::bad_alloc. The contract of append_logical_key
    // for natural_compare's order.
    void append_natural_key(std::string_view name, std::string& key);
}
