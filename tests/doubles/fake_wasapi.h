// A scripted sound endpoint behind the WASAPI interfaces the Windows audio device uses
// (IMMDeviceEnumerator, IMMDevice, IAudioClient2, IAudioRenderClient). The Windows test build
// links it in place of COM's enumerator. Like a real exclusive endpoint it holds one stream
// at a time, refuses a second Initialize on a client, checks buffer sizes and call order, and
// signals the stream's event once per period (in real time divided by `speed`) while started.
// The settings and records are process-wide, since the play thread opens its own device.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace Fake_Wasapi
{
    struct Settings
    {
        HRESULT create_enumerator = S_OK;    // result of creating the enumerator
        bool has_endpoint = true;            // false: no default render endpoint (E_NOTFOUND)
        HRESULT activate = S_OK;             // result of IMMDevice::Activate
        bool refuse_packed = false;          // 24 bits in 3 bytes refused at every rate
        bool refuse_padded = false;          // 24 bits in 4 bytes refused at every rate
        std::vector<uint32_t> refused_rates; // both layouts refused at these rates, Hz
        int64_t minimum_period = 30000;      // 100-ns units (3 ms)
        uint32_t alignment = 0;              // frames; another buffer size is refused as not aligned
        bool raw_unsupported = false;        // SetClientProperties fails (a system before raw streams)
        bool held_by_another = false;        // another program holds the endpoint exclusively
        HRESULT get_service = S_OK;
        HRESULT set_event_handle = S_OK;
        HRESULT start = S_OK;
        int stall_after_events = -1; // the endpoint stops signalling after this many events
        double speed = 1.0;          // periods pass this many times faster than real time
    };

    struct Buffer
    {
        std::vector<uint8_t> bytes; // as released; what the endpoint plays
        bool silent = false;        // released with AUDCLNT_BUFFERFLAGS_SILENT
        bool started = false;       // the stream was running
    };

    // Forgets all records and takes new settings. Call while no stream is open.
    void reset(const Settings& settings = {});

    // Every call in order, e.g. "Activate", "IsFormatSupported 44100 24/24",
    // "Initialize 44100 32/24 30000 30000", "GetBuffer 132", "ReleaseBuffer 132 silent".
    std::vector<std::string> calls();
    std::vector<Buffer> buffers(); // every released buffer, oldest first
    int live_objects();            // fake COM objects not yet released by their last holder
    int late_buffers();            // periods that passed while the stream waited for a buffer

    // Blocks until no fake COM object is alive and one was created, at most `timeout`.
    bool wait_until_released(std::chrono::milliseconds timeout);
}
