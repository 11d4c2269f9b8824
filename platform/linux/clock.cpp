// The monotonic clock behind frame timing.
#include <ctime>

#include "platform/display.h"

namespace Platform
{
    double now_seconds()
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    }
}
