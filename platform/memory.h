// Memory for a track's decoded samples: arrays of hundreds of megabytes that are filled once,
// front to back, right after they are allocated.
#pragma once

#include <cstddef>

namespace Platform
{
    // Any thread; throws std::bad_alloc when the memory cannot be had. Large arrays are
    // offered huge pages where the system has them, which makes the first fill far cheaper
    // than faulting in one small page at a time. Free with free_doubles.
    double* allocate_doubles(std::size_t count);

    // Any thread; throws nothing. Null is ignored.
    void free_doubles(double* array);
}
