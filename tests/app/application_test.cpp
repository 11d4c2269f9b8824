// The last-resort handlers of the entry point: which text reaches the box for each kind of
// exception, and the exit code.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "app/application.h"
#include "doubles/message_box_recorder.h"
#include "engine/exception.h"
#include "platform/display.h"

namespace
{
    std::string shown_after(const std::function<void()>& body, int expected_code)
    {
        Message_Box_Recorder::clear();
        EXPECT_EQ(Corvane::run_with_error_box(body), expected_code);
        const auto boxes = Message_Box_Recorder::shown();
        if (boxes.empty())
            return "<no box>";
        EXPECT_EQ(boxes.size(), 1u);
        EXPECT_FALSE(boxes.back().owned) << "the entry point's box has no owner";
        return boxes.back().message;
    }

    TEST(Error_Handlers, ShowEachKindOfExceptionWithItsText)
    {
        EXPECT_EQ(shown_after([] { throw Kestrane::Exception("Could not compile an OpenGL shader.\n\nlog"); }, 1),
                  "Could not compile an OpenGL shader.\n\nlog");
        EXPECT_EQ(shown_after([] { throw std::bad_alloc(); }, 1), "External Error: bad allocation");
        EXPECT_EQ(shown_after([] { throw std::runtime_error("disk on fire"); }, 1), "External Error: disk on fire");
        EXPECT_EQ(shown_after([] { throw 42; }, 1), "Unhandled exception.");
    }

    TEST(Error_Handlers, ShowNothingWhenTheBodyEndsNormally)
    {
        EXPECT_EQ(shown_after([] {}, 0), "<no box>");
    }

    TEST(Error_Handlers, RunAfterTheBodysObjectsAreDestroyed)
    {
        bool destroyed_before_box = false;
        struct Guard
        {
            bool* flag;
            ~Guard() { *flag = Message_Box_Recorder::shown().empty(); }
        };
        shown_after(
            [&]
            {
                Guard guard{&destroyed_before_box};
                throw Kestrane::Exception("late");
            },
            1);
        EXPECT_TRUE(destroyed_before_box);
    }

    TEST(Frame_Pacing, FramesComeOnePeriodApartAndALateFrameIsNotMadeUp)
    {
        constexpr double period = 0.02;
        Corvane::Frame_Pacer pacer;
        pacer.wait(period); // the first frame is due at once
        // Counted from that deadline, not from the clock after it: a test thread preempted
        // between the two would see the ten periods as shorter than they are.
        const double start = pacer.due;
        for (int frame = 0; frame < 10; ++frame)
            pacer.wait(period);
        // A lower bound only: a busy machine makes the loop slower, never faster.
        EXPECT_GE(Platform::now_seconds() - start, 10 * period - 0.001) << "the loop must rest between frames";

        // A frame three periods long: the next is due from now, not from the deadlines it
        // missed, which would let the loop spin through a burst of frames.
        Platform::sleep_until(Platform::now_seconds() + 3 * period);
        const double late = Platform::now_seconds();
        pacer.wait(period);
        EXPECT_GE(pacer.due, late);
        const double after_late = Platform::now_seconds();
        pacer.wait(period);
        EXPECT_GE(Platform::now_seconds(), pacer.due);
        EXPECT_NEAR(pacer.due - after_late, period, period) << "one period after the late frame";
    }
}
