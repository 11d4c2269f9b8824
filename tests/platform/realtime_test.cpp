// The real-time class: granted or refused, the calling thread ends where it started, and a
// refusal is an answer, never a failure of the process.
#include "platform/realtime.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace
{
    int current_policy()
    {
        int policy = -1;
        sched_param param{};
        pthread_getschedparam(pthread_self(), &policy, &param);
        return policy;
    }

    // Takes away every right to real-time scheduling from this process, for good.
    void drop_realtime_rights()
    {
        if (geteuid() == 0 && setuid(65534) != 0) // leaves the capabilities behind
            std::_Exit(3);
        const rlimit none{0, 0};
        if (setrlimit(RLIMIT_RTPRIO, &none) != 0)
            std::_Exit(4);
    }
}

TEST(Realtime, EnterAndLeaveReturnTheThreadToItsPolicy)
{
    std::thread thread(
        []
        {
            const int before = current_policy();
            const bool entered = Platform::enter_realtime_class();
            EXPECT_EQ(current_policy(), entered ? SCHED_FIFO : before);
            Platform::leave_realtime_class();
            EXPECT_EQ(current_policy(), before);
            Platform::leave_realtime_class(); // a second leave changes nothing
            EXPECT_EQ(current_policy(), before);
        });
    thread.join();
}

TEST(Realtime, EnteringTwiceStillLeavesToTheFirstPolicy)
{
    std::thread thread(
        []
        {
            const int before = current_policy();
            Platform::enter_realtime_class();
            Platform::enter_realtime_class();
            Platform::leave_realtime_class();
            EXPECT_EQ(current_policy(), before);
        });
    thread.join();
}

TEST(RealtimeDeathTest, RefusalKeepsNormalPriorityAndTheProcessRunning)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            drop_realtime_rights();
            int result = 0;
            std::thread thread(
                [&result]
                {
                    if (Platform::enter_realtime_class())
                        result = 5;
                    else if (current_policy() != SCHED_OTHER)
                        result = 6;
                    Platform::leave_realtime_class();
                    if (current_policy() != SCHED_OTHER)
                        result = 7;
                });
            thread.join();
            std::_Exit(result);
        },
        testing::ExitedWithCode(0), "");
}
