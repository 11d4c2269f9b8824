// Sample arrays as private anonymous mappings: reserved read-only (reads give the shared
// zero page, and the system charges nothing for them) and made writable as they are filled.
// The data starts on a huge-page boundary and is advised as huge-page backed (transparent
// huge pages, where the system runs them in "madvise" or "always" mode). The page before
// the data records the mapping, so that free_doubles needs only the pointer. A trimmed array
// keeps its pages up to its new length: they are backed already, and backing fresh ones
// (the kernel clearing each first) is much of the cost of filling a large array.
#include "platform/memory.h"

#include <sys/mman.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cstdint>
#include <new>

namespace Platform
{
    namespace
    {
        constexpr std::size_t huge_page = std::size_t(2) << 20;

        struct Mapping
        {
            void* base = nullptr;
            std::size_t bytes = 0;
        };

        std::size_t page_size()
        {
            static const auto size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
            return size;
        }

        Mapping* mapping_of(double* array)
        {
            return reinterpret_cast<Mapping*>(reinterpret_cast<std::uintptr_t>(array) - page_size());
        }
    }

    double* reserve_doubles(std::size_t count)
    {
        const std::size_t limit = std::size_t(-1) / 2;
        if (count > (limit - 2 * huge_page) / sizeof(double))
            throw std::bad_alloc();
        const std::size_t data_bytes = count * sizeof(double);
        // Room for the record page and the alignment of the data.
        const std::size_t bytes = data_bytes + huge_page + page_size();
        void* base = mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (base == MAP_FAILED)
            throw std::bad_alloc();
        const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(base) + page_size();
        auto* data = reinterpret_cast<double*>((first + huge_page - 1) / huge_page * huge_page);
        Mapping* record = mapping_of(data);
        if (mprotect(record, page_size(), PROT_READ | PROT_WRITE) != 0)
        {
            munmap(base, bytes);
            throw std::bad_alloc();
        }
        *record = Mapping{base, bytes};
        if (data_bytes >= huge_page)
            madvise(data, data_bytes, MADV_HUGEPAGE); // a refusal only costs speed
        return data;
    }

    void commit_doubles(double* array, std::size_t from, std::size_t to)
    {
        if (from >= to)
            return;
        const std::size_t page = page_size();
        const auto start = reinterpret_cast<std::uintptr_t>(array + from) / page * page;
        const auto end = (reinterpret_cast<std::uintptr_t>(array + to) + page - 1) / page * page;
        if (mprotect(reinterpret_cast<void*>(start), end - start, PROT_READ | PROT_WRITE) != 0)
            throw std::bad_alloc();
    }

    bool trim_doubles(double* array, std::size_t count)
    {
        const Mapping record = *mapping_of(array);
        const auto data = reinterpret_cast<std::uintptr_t>(array);
        const auto end = reinterpret_cast<std::uintptr_t>(record.base) + record.bytes;
        if (count > (end - data) / sizeof(double))
            return false;
        const std::size_t page = page_size();
        const auto kept = (data + count * sizeof(double) + page - 1) / page * page;
        return kept >= end || madvise(reinterpret_cast<void*>(kept), end - kept, MADV_DONTNEED) == 0;
    }

    void free_doubles(double* array)
    {
        if (!array)
            return;
        const Mapping record = *mapping_of(array);
        munmap(record.base, record.bytes);
    }

    std::size_t memory_size()
    {
        struct sysinfo info
        {
        };
        if (sysinfo(&info) != 0)
            return std::size_t(-1);
        return (static_cast<std::size_t>(info.totalram) + info.totalswap) * info.mem_unit;
    }
}
