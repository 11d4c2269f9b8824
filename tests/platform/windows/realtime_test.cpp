// The Multimedia Class Scheduler under the play thread: registered as "Pro Audio" and
// reverted by the thread that registered, any number of runs in a row.
#include "platform/realtime.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
    TEST(Windows_Realtime, EachRunRegistersAndRevertsOnItsOwnThread)
    {
        for (int run = 0; run < 3; ++run)
        {
            bool entered = false, again = false;
            std::thread thread(
                [&]
                {
                    entered = Platform::enter_realtime_class();
                    again = Platform::enter_realtime_class(); // already registered: still in the class
                    Platform::leave_realtime_class();
                    Platform::leave_realtime_class(); // nothing left to revert
                });
            thread.join();
            EXPECT_TRUE(entered) << run;
            EXPECT_TRUE(again) << run;
        }
        Platform::leave_realtime_class(); // a thread that never entered
    }
}
