// The system's device enumerator.
#include "platform/windows/device_enumerator.h"

namespace Platform
{
    HRESULT create_device_enumerator(IMMDeviceEnumerator** enumerator)
    {
        return CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(enumerator));
    }
}
