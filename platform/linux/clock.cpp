// The monotonic clock behind frame timing and pacing.
#include <cerrno>
#include <cmath>
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

    void sleep_until(double deadline)
    {
        timespec until{};
        until.tv_sec = static_cast<time_t>(std::floor(deadline));
        until.tv_nsec = static_cast<long>((deadline - std::floor(deadline)) * 1e9);
        if (until.tv_nsec >= 1000000000L)
            until.tv_nsec = 999999999L;
        // A signal cuts the sleep short; the deadline is absolute, so sleep again.
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR)
        {
        }
    }
}
