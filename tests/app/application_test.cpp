// The last-resort handlers of the entry point: which text reaches the box for each kind of
// exception, and the exit code.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "app/application.h"
#include "doubles/message_box_recorder.h"
#include "engine/exception.h"

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
}
