// Memory for a track's decoded samples: one array of doubles per channel, sized up front for
// the length the file declares but backed by memory only where samples are written, so that
// a file lying about its length costs address space, not memory.
#pragma once

#include <cstddef>

namespace Platform
{
    // Any thread; throws std::bad_alloc when even the address space cannot be had. Every
    // value reads as 0.0 until written; writing needs commit_doubles first. Large arrays are
    // offered huge pages where the system has them, which makes the first fill far cheaper
    // than faulting in one small page at a time. Free with free_doubles.
    double* reserve_doubles(std::size_t count);

    // Any thread, also several at once on disjoint ranges of one array; throws
    // std::bad_alloc when the system will not back them. Makes values [from, to) writable;
    // values never written still read as 0.0.
    void commit_doubles(double* array, std::size_t from, std::size_t to);

    // Any thread; throws nothing. True when `array` (from reserve_doubles) can hold `count`
    // doubles: it then stays usable for them, values [0, count) keep what they held, and
    // memory past them is given back to the system. False where the array is too short or
    // the system gains nothing by keeping its pages; the array is then unchanged.
    bool trim_doubles(double* array, std::size_t count);

    // Any thread; throws nothing. Null is ignored.
    void free_doubles(double* array);

    // RAM and swap together, in bytes: no track can be held in more. Any thread; throws nothing.
    std::size_t memory_size();
}
