// Where the audio device finds the system's sound endpoints: COM's MMDeviceEnumerator in the
// player, a scripted one in the tests, which link their own definition in place of this one.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

namespace Platform
{
    // The calling thread, with COM initialised on it; throws nothing. The result of the
    // creation; on success `enumerator` holds a reference the caller releases.
    HRESULT create_device_enumerator(IMMDeviceEnumerator** enumerator);
}
