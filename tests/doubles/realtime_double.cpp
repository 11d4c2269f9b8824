// The real-time class double (see realtime_double.h).
#include "doubles/realtime_double.h"

#include <atomic>

#include "platform/realtime.h"

namespace
{
    std::atomic<bool> refusing{false};
    std::atomic<int> entries{0};
    std::atomic<int> exits{0};
}

namespace Realtime_Double
{
    void reset(bool refuse)
    {
        refusing = refuse;
        entries = 0;
        exits = 0;
    }

    int entered()
    {
        return entries;
    }
    int left()
    {
        return exits;
    }
}

namespace Platform
{
    bool enter_realtime_class()
    {
        if (refusing)
            return false;
        ++entries;
        return true;
    }

    void leave_realtime_class()
    {
        ++exits;
    }
}
