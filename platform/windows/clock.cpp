// The frame clock on the performance counter, split so that counter x 10^9 never overflows.
#include <windows.h>

#include "platform/display.h"

namespace Platform
{
    double now_seconds()
    {
        static const int64_t frequency = []
        {
            LARGE_INTEGER f{};
            QueryPerformanceFrequency(&f);
            return f.QuadPart;
        }();
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        const int64_t nanoseconds =
            counter.QuadPart / frequency * 1000000000 + counter.QuadPart % frequency * 1000000000 / frequency;
        return static_cast<double>(nanoseconds) / 1e9;
    }
}
