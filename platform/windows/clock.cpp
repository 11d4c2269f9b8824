// The frame clock on the performance counter, split so that counter x 10^9 never overflows,
// and sleeping until a time on it.
#include <windows.h>

#include "platform/display.h"

namespace Platform
{
    namespace
    {
        // Windows 10 1803 and later; this toolchain's headers predate it.
        constexpr DWORD high_resolution_timer = 0x00000002; // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
    }

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

    void sleep_until(double deadline)
    {
        // A high-resolution timer wakes within a fraction of a millisecond. Where the system has
        // none (before Windows 10 1803) Sleep's coarse ticks take the bulk and yielding the rest.
        thread_local const HANDLE timer =
            CreateWaitableTimerExW(nullptr, nullptr, high_resolution_timer, TIMER_ALL_ACCESS);
        for (;;)
        {
            const double left = deadline - now_seconds();
            if (left <= 0.0)
                return;
            LARGE_INTEGER due{};
            due.QuadPart = -static_cast<LONGLONG>(left * 1e7); // relative, in 100 ns
            if (timer && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE))
                WaitForSingleObject(timer, INFINITE);
            else if (left > 0.002)
                Sleep(static_cast<DWORD>((left - 0.002) * 1000));
            else
                SwitchToThread();
        }
    }
}
