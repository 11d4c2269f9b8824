// Real-time scheduling on Linux: the play thread asks for SCHED_FIFO. Without the right to it
// (no CAP_SYS_NICE and no RLIMIT_RTPRIO allowance) the thread keeps its normal priority.
#include "platform/realtime.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>

namespace Platform
{
    namespace
    {
        // Above ordinary real-time helpers, below the kernel's interrupt threads (50).
        constexpr int wanted_priority = 40;

        struct Saved_Scheduling
        {
            bool saved = false; // enter_realtime_class succeeded and leave has not run yet
            int policy = SCHED_OTHER;
            sched_param param{};
        };

        // Each thread restores its own scheduling.
        thread_local Saved_Scheduling saved_scheduling;

        bool set_fifo(int priority)
        {
            sched_param param{};
            param.sched_priority = priority;
            return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
        }

        // The highest priority an unprivileged thread may take, 0 when none.
        int allowed_priority()
        {
            rlimit limit{};
            if (getrlimit(RLIMIT_RTPRIO, &limit) != 0)
                return 0;
            return int(std::min<rlim_t>(limit.rlim_cur, rlim_t(wanted_priority)));
        }
    }

    bool enter_realtime_class()
    {
        Saved_Scheduling before;
        if (pthread_getschedparam(pthread_self(), &before.policy, &before.param) != 0)
            return false;
        const int priority =
            std::clamp(wanted_priority, sched_get_priority_min(SCHED_FIFO), sched_get_priority_max(SCHED_FIFO));
        if (!set_fifo(priority))
        {
            const int allowed = allowed_priority();
            if (allowed < 1 || !set_fifo(allowed))
                return false;
        }
        if (!saved_scheduling.saved)
        {
            saved_scheduling = before;
            saved_scheduling.saved = true;
        }
        return true;
    }

    void leave_realtime_class()
    {
        if (!saved_scheduling.saved)
            return;
        pthread_setschedparam(pthread_self(), saved_scheduling.policy, &saved_scheduling.param);
        saved_scheduling.saved = false;
    }
}
