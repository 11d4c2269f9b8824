// Sample arrays aligned to the huge-page size and advised as huge-page backed
// (transparent huge pages, where the system runs them in "madvise" or "always" mode).
#include "platform/memory.h"

#include <sys/mman.h>

#include <new>

namespace Platform
{
    namespace
    {
        constexpr std::align_val_t huge_page{std::size_t(2) << 20};
    }

    double* allocate_doubles(std::size_t count)
    {
        if (count > std::size_t(-1) / sizeof(double))
            throw std::bad_alloc();
        const std::size_t bytes = count * sizeof(double);
        void* memory = ::operator new(bytes > 0 ? bytes : 1, huge_page);
        if (bytes >= std::size_t(huge_page))
            madvise(memory, bytes, MADV_HUGEPAGE); // a refusal only costs speed
        return static_cast<double*>(memory);
    }

    void free_doubles(double* array)
    {
        ::operator delete(array, huge_page);
    }
}
