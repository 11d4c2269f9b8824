// The logical order on Linux, which has no system comparison of its own: the shared natural
// comparison.
#include "platform/logical_order.h"

#include "platform/shared/natural_compare.h"

namespace Platform
{
    int logical_compare(std::string_view a, std::string_view b)
    {
        return natural_compare(a, b);
    }

    void append_logical_key(std::string_view name, std::string& key)
    {
        append_natural_key(name, key);
    }
}
