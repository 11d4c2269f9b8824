// The tests' one polling loop.
#include "support/poll.h"

#include <thread>

namespace Test_Support
{
    bool poll_until(const std::function<bool()>& done, std::chrono::duration<double> timeout,
                    std::chrono::milliseconds interval)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done())
        {
            if (std::chrono::steady_clock::now() > deadline)
                return done();
            std::this_thread::sleep_for(interval);
        }
        return true;
    }
}
