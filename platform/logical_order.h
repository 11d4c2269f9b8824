// The order in which file names are shown: runs of digits compare by their numeric value and
// letters without regard to case, so "Track 2" comes before "track 10".
#pragma once

#include <string>
#include <string_view>

namespace Platform
{
    // Any thread; does not block; throws nothing. Negative when `a` sorts before `b`, zero
    // only when both are the same bytes, positive otherwise: a strict total order, so
    // std::sort may use it. Names that differ only in case or in leading zeros sort side by
    // side, ordered by their bytes.
    int logical_compare(std::string_view a, std::string_view b);

    // Any thread; does not block; throws std::bad_alloc. Appends to `key` the sort key of
    // `name`: keys compare byte by byte (as std::string does, a prefix first) in the order of
    // logical_compare, and are equal only for names that it tells apart by their bytes alone.
    // A folder of thousands of names is sorted far faster on keys made once per name.
    void append_logical_key(std::string_view name, std::string& key);
}
