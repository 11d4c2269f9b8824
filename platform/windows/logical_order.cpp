// The shell's own logical order, StrCmpLogicalW, on the names' UTF-16 form: Explorer sorts
// a folder the same way. Names it holds equal fall back to their bytes, so the order is total.
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
}
