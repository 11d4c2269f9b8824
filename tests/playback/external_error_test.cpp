// A standard exception on the loader thread (here: no memory for a huge track) reaches the
// user as "External Error: ..." instead of ending the process through std::terminate.
// This binary replaces operator new so that the refusal happens under any sanitizer, whose
// own allocators would otherwise stop the process before the exception is thrown.
#include "playback_test.h"

#include <cstdlib>
#include <new>

namespace
{
    constexpr size_t refused_above = size_t{1} << 34; // 16 GiB

    void* allocate(size_t size)
    {
        if (size > refused_above)
            throw std::bad_alloc();
        if (void* p = std::malloc(size ? size : 1))
            return p;
        throw std::bad_alloc();
    }
}

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return size > refused_above ? nullptr : std::malloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return size > refused_above ? nullptr : std::malloc(size ? size : 1); }
// Sample arrays come aligned to the huge-page size.
void* operator new(size_t size, std::align_val_t alignment)
{
    if (size > refused_above)
        throw std::bad_alloc();
    void* p = nullptr;
    if (posix_memalign(&p, size_t(alignment), size ? size : 1) != 0)
        throw std::bad_alloc();
    return p;
}
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace
{
    using namespace Playback_Test;
    using External_Error = Playback;

    TEST_F(External_Error, AllocationFailureForAHugeTrackIsShownAsExternalError)
    {
        Flac_Fixture::Options options;
        options.seconds = 0.05;
        options.declared_frames = int64_t{1} << 35; // 256 GiB of doubles per channel
        auto file = folder.tone("huge.flac", options);
        EXPECT_EXIT(
            {
                Corvane::Track track(nullptr);
                track.load(file);
                std::this_thread::sleep_for(30s);
                std::exit(0);
            },
            testing::ExitedWithCode(1), "\\[Corvane Error\\] External Error: bad allocation\n");
    }
}
