// Real-time scheduling on Windows: the Multimedia Class Scheduler's "Pro Audio" task at
// critical priority. A refusal leaves the thread at its normal priority.
#include "platform/realtime.h"

#include <windows.h>
#include <avrt.h>

namespace Platform
{
    namespace
    {
        // Each thread reverts its own registration.
        thread_local HANDLE task = nullptr;
    }

    bool enter_realtime_class()
    {
        if (task)
            return true;
        DWORD task_index = 0;
        HANDLE registered = AvSetMmThreadCharacteristicsA("Pro Audio", &task_index);
        if (!registered)
            return false;
        if (!AvSetMmThreadPriority(registered, AVRT_PRIORITY_CRITICAL))
        {
            AvRevertMmThreadCharacteristics(registered);
            return false;
        }
        task = registered;
        return true;
    }

    void leave_realtime_class()
    {
        if (!task)
            return;
        AvSetMmThreadPriority(task, AVRT_PRIORITY_NORMAL);
        AvRevertMmThreadCharacteristics(task);
        task = nullptr;
    }
}
