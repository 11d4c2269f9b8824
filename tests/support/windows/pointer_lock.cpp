// The pointer's lock on Windows: a mutex named in the session, which every test process of
// one desktop (one Wine prefix) shares.
#include "support/pointer_lock.h"

#include <windows.h>

#include <stdexcept>

namespace Test_Support
{
    Pointer_Lock::Pointer_Lock()
    {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\corvane-test-pointer");
        if (!mutex)
            throw std::runtime_error("could not make the pointer's lock");
        // An abandoned mutex (its holder ended without releasing it) is ours all the same.
        const DWORD waited = WaitForSingleObject(mutex, INFINITE);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        {
            CloseHandle(mutex);
            throw std::runtime_error("could not take the pointer's lock");
        }
        handle = reinterpret_cast<std::intptr_t>(mutex);
    }

    Pointer_Lock::~Pointer_Lock()
    {
        const auto mutex = reinterpret_cast<HANDLE>(handle);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}
