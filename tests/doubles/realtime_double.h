// Stand-in for the real-time class in tests: counts entries and exits per process and can
// refuse like a system without real-time rights, without touching any thread's priority.
#pragma once

namespace Realtime_Double
{
    void reset(bool refuse); // forget the counts; `refuse`: enter_realtime_class returns false
    int entered();           // successful enter_realtime_class calls
    int left();              // leave_realtime_class calls
}
