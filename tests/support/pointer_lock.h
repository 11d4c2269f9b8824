// The display has one pointer, and tests run in parallel processes on one display: a test
// that moves the pointer, or needs it to stay where it put it, holds this lock meanwhile.
// One implementation per system, chosen by the build.
#pragma once

#include <cstdint>

namespace Test_Support
{
    class Pointer_Lock
    {
    public:
        // Blocks until no other process holds the lock for this display; throws
        // std::runtime_error when the lock cannot be made. Released by the destructor, or by
        // the system when the process ends.
        Pointer_Lock();
        ~Pointer_Lock();
        Pointer_Lock(const Pointer_Lock&) = delete;
        Pointer_Lock& operator=(const Pointer_Lock&) = delete;

        std::intptr_t handle = -1; // the lock file's descriptor (Linux), the mutex's handle (Windows)
    };
}
