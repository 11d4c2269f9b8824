// Fatal errors from background threads: the box is owned, the text is the message and the
// process ends with exit code 1.
#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <thread>

#include "doubles/message_box_recorder.h"
#include "engine/error.h"
#include "engine/exception.h"

namespace
{
    TEST(Exception, CarriesItsMessageAndCopies)
    {
        const Kestrane::Exception original("Could not load \"x\".\n\nDetails");
        const Kestrane::Exception copy = original;
        EXPECT_EQ(copy.get_message(), "Could not load \"x\".\n\nDetails");
    }

    TEST(External_Error, DescribesAnAllocationFailureInPlainWords)
    {
        EXPECT_EQ(Kestrane::external_error_message(std::bad_alloc().what()), "External Error: bad allocation");
        EXPECT_EQ(Kestrane::external_error_message("vector::reserve"), "External Error: vector::reserve");
    }

    TEST(Fatal_Error, FromAnotherThreadShowsTheMessageAndExitsWithOne)
    {
        EXPECT_EXIT({ std::thread([] { Kestrane::show_fatal_error(nullptr, "The sound card is gone."); }).join(); },
                    testing::ExitedWithCode(1), "\\[Corvane Error\\] The sound card is gone\\.");
    }

    TEST(Fatal_Error, StopsTheFrameLoopBeforeTheBoxAndStillExitsWithOne)
    {
        EXPECT_EXIT(
            {
                std::thread(
                    []
                    {
                        std::this_thread::sleep_for(std::chrono::milliseconds(20));
                        Kestrane::show_fatal_error(nullptr, "Late failure.");
                    })
                    .detach();
                for (;;) // the frame loop: it stops here for good once the box is on its way
                    Kestrane::stop_here_if_fatal_error();
            },
            testing::ExitedWithCode(1), "\\[Corvane Error\\] Late failure\\.");
    }

    TEST(Screen_Resolution, IsReadOnceAndStaysTheSame)
    {
        const Kestrane::Int2 first = Kestrane::get_screen_resolution();
        EXPECT_GT(first.x, 0);
        EXPECT_GT(first.y, 0);
        Kestrane::Int2 from_thread;
        std::thread([&] { from_thread = Kestrane::get_screen_resolution(); }).join();
        EXPECT_EQ(from_thread, first);
    }
}
