// An allocation failure on the scan thread reaches the user as an error box with exit code 1
// instead of ending the process through std::terminate. This binary replaces the global
// allocation functions so that a test can make one allocation of the scan thread fail.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "library/temp_library.h"

namespace
{
    std::atomic<bool> fail_next_allocation{false}; // armed by a test, taken by one foreign thread
    thread_local bool exempt = false;              // the test's own thread never fails

    void* allocate(std::size_t size)
    {
        if (!exempt && fail_next_allocation.load(std::memory_order_relaxed) && fail_next_allocation.exchange(false))
            throw std::bad_alloc();
        if (void* memory = std::malloc(size ? size : 1))
            return memory;
        throw std::bad_alloc();
    }
}

void* operator new(std::size_t size)
{
    return allocate(size);
}
void* operator new[](std::size_t size)
{
    return allocate(size);
}
void operator delete(void* memory) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace
{
    TEST(Scan_Failure, AllocationFailureShowsAnExternalErrorAndExitsWithOne)
    {
        Library_Test::Temp_Library library;
        library.file("Album/01.flac");
        EXPECT_EXIT(
            {
                exempt = true;
                fail_next_allocation = true;
                Corvane::Directory directory(nullptr);
                Library_Test::wait_for_scan(directory, 30.0);
            },
            testing::ExitedWithCode(1), "\\[Corvane Error\\] External Error: bad allocation");
    }

    TEST(Scan_Failure, WithoutAFailureTheSameLibraryLoads)
    {
        Library_Test::Temp_Library library;
        library.file("Album/01.flac");
        Corvane::Directory directory(nullptr);
        EXPECT_EQ(Library_Test::describe(Library_Test::scanned_root(directory)), "Album/(01.flac)");
    }
}
