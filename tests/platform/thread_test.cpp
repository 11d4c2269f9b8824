// Threads nobody joins: every one started runs its body, also when it is started right
// after the one before ended, which is how the player starts its loader and play threads.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/thread.h"

namespace
{
    TEST(Platform_Thread, EveryThreadStartedRunsItsBody)
    {
        std::atomic<int> running{0};
        for (int i = 0; i < 2000; ++i)
        {
            running.fetch_add(1);
            Platform::start_thread([&running] { running.fetch_sub(1); });
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (running.load() != 0 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            ASSERT_EQ(running.load(), 0) << "thread " << i << " never ran";
        }
    }
}
