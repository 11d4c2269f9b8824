// Sample arrays on the ordinary heap, 64-byte aligned. Large pages on Windows need a
// privilege that a music player should not ask for.
#include "platform/memory.h"

#include <malloc.h>

#include <new>

namespace Platform
{
    double* allocate_doubles(std::size_t count)
    {
        if (count > std::size_t(-1) / sizeof(double))
            throw std::bad_alloc();
        void* memory = _aligned_malloc(count > 0 ? count * sizeof(double) : 1, 64);
        if (!memory)
            throw std::bad_alloc();
        return static_cast<double*>(memory);
    }

    void free_doubles(double* array)
    {
        _aligned_free(array);
    }
}
