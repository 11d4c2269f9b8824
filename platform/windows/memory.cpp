// Sample arrays as virtual memory: committed whole where the system's commit limit allows,
// which costs no RAM until a page is written (pages read as zero), and otherwise only
// reserved and committed range by range as the decoder fills them.
#include "platform/memory.h"

#include <windows.h>

#include <new>

namespace Platform
{
    double* reserve_doubles(std::size_t count)
    {
        if (count > (std::size_t(-1) / 2) / sizeof(double))
            throw std::bad_alloc();
        const std::size_t bytes = count > 0 ? count * sizeof(double) : 1;
        void* memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        // A length the file only claims may exceed what the system will commit at once.
        if (!memory)
            memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_READWRITE);
        if (!memory)
            throw std::bad_alloc();
        return static_cast<double*>(memory);
    }

    void commit_doubles(double* array, std::size_t from, std::size_t to)
    {
        if (from >= to)
            return;
        if (!VirtualAlloc(array + from, (to - from) * sizeof(double), MEM_COMMIT, PAGE_READWRITE))
            throw std::bad_alloc();
    }

    bool trim_doubles(double*, std::size_t)
    {
        return false; // the system clears free pages ahead of need, so fresh ones cost little
    }

    void free_doubles(double* array)
    {
        if (array)
            VirtualFree(array, 0, MEM_RELEASE);
    }

    std::size_t memory_size()
    {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof(status);
        if (!GlobalMemoryStatusEx(&status))
            return std::size_t(-1);
        return static_cast<std::size_t>(status.ullTotalPageFile); // RAM and page file: the commit limit
    }
}
