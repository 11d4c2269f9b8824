// Real-time scheduling for the play thread.
#pragma once

namespace Platform
{
    // Calling thread only; does not block; throws nothing. Puts the calling thread in the
    // system's real-time class. Returns false when the system refuses; the thread then
    // keeps its normal priority, which is still fine with the period floor of the device.
    bool enter_realtime_class();

    // Calling thread only; restores the priority it had before enter_realtime_class.
    void leave_realtime_class();
}
