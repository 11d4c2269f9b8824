// Waiting in tests for something another thread or process does, without a fixed sleep.
#pragma once

#include <chrono>
#include <functional>

namespace Test_Support
{
    // Asks `done` every `interval` until it says yes or `timeout` has passed; returns its
    // last answer, so a slow machine only makes a passing test slower.
    bool poll_until(const std::function<bool()>& done, std::chrono::duration<double> timeout,
                    std::chrono::milliseconds interval = std::chrono::milliseconds(1));
}
