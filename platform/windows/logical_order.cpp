// The shell's own logical order, StrCmpLogicalW, on the names' UTF-16 form: Explorer sorts
// a folder the same way. Names it holds equal fall back to their bytes, so the order is total.
// Sort keys come from the system's linguistic sort with digits as numbers and case ignored,
// the comparison StrCmpLogicalW itself makes.
#include "platform/logical_order.h"

#include <windows.h>
#include <shlwapi.h>

#include "platform/windows/wide.h"

namespace Platform
{
    int logical_compare(std::string_view a, std::string_view b)
    {
        const int order = StrCmpLogicalW(to_wide(a).c_str(), to_wide(b).c_str());
        if (order != 0)
            return order < 0 ? -1 : 1;
        const int bytes = a.compare(b);
        return (bytes > 0) - (bytes < 0);
    }

    void append_logical_key(std::string_view name, std::string& key)
    {
        const std::wstring wide = to_wide(name);
        const DWORD flags = LCMAP_SORTKEY | SORT_DIGITSASNUMBERS | LINGUISTIC_IGNORECASE;
        const int length = static_cast<int>(wide.size());
        const int bytes =
            LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, wide.c_str(), length, nullptr, 0, nullptr, nullptr, 0);
        const size_t start = key.size();
        key.resize(start + static_cast<size_t>(bytes));
        LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, wide.c_str(), length,
                      reinterpret_cast<LPWSTR>(key.data() + start), bytes, nullptr, nullptr, 0);
        if (bytes > 0 && key.back() == '\0')
            key.pop_back(); // a shorter name's key is then a prefix of a longer one's
    }
}
