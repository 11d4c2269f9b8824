// In-memory sound card: the test build links it in place of the ALSA device. It keeps every
// call and every byte handed to it, consumes buffers as fast as asked for, at the stream's
// pace, or one step at a time under the test's control, and refuses or fails on demand.
// Like a real card it has one handle: an open while another device holds it is refused.
// The settings and records are process-wide, since the play thread creates its own device.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/audio_device.h"

namespace Memory_Audio_Device
{
    enum class Pace
    {
        free,    // a buffer is due at once: a track renders as fast as the CPU allows
        paced,   // one buffer per period of the stream, in real time divided by `speed`
        stepped, // a buffer is due only after the test's step()
    };

    struct Settings
    {
        Platform::Audio_Result open_result = Platform::Audio_Result::ok;
        // Closing takes this long, as on a real card; the device stays held until it is over.
        std::chrono::microseconds close_time{0};
        int busy_opens = 0;                  // the first opens report the device in use (a holder still closing it)
        bool refuse_packed = false;          // 3-byte layout refused at every rate
        bool refuse_padded = false;          // 4-byte layout refused at every rate
        std::vector<uint32_t> refused_rates; // both layouts refused at these rates, Hz
        int64_t minimum_period = 30000;      // 100-ns units (3 ms)
        uint32_t alignment = 0;              // frames; a buffer not a multiple of it is refused as not aligned
        Platform::Audio_Result initialize_result = Platform::Audio_Result::ok; // forced outcome when not ok
        int fail_get_buffer_at = -1; // this get_buffer call (0-based, priming included) returns null
        int fail_release_at = -1;    // this release_buffer call fails
        bool fail_start = false;
        int stall_at_wait = -1; // from this wait on (0-based) the device never asks again
        int fail_wait_at = -1;  // this wait reports a broken stream
        Pace pace = Pace::free;
        double speed = 1.0;     // paced: times faster than real time
        bool keep_bytes = true; // false: buffers() stays empty (benchmarks)
        // Runs on the play thread after every release_buffer, with its 0-based index.
        std::function<void(int release)> on_release;
    };

    struct Buffer
    {
        std::vector<uint8_t> bytes; // as handed over; zeros when released silent
        bool silent = false;        // released with the silent flag
        bool started = false;       // the stream was running
    };

    // Forgets all records and takes new settings. Call while no device is open.
    void reset(const Settings& settings = {});

    // Every call in order: "open", "test_format 44100 packed", "minimum_period 44100",
    // "initialize 44100 padded 30000", "wait", "get_buffer", "release_buffer",
    // "release_buffer silent", "start", "stop", "close".
    std::vector<std::string> calls();
    std::vector<Buffer> buffers(); // every released buffer, oldest first
    int devices_open();            // Audio_Device objects alive
    // Opens refused because another device held the card: like a one-substream card, only
    // one handle may be open at a time.
    int refused_opens();

    // Stepped pace: lets `count` more waits return due.
    void step(int count);
    // Blocks until a wait is pending and no step credit is left (the play thread is parked),
    // at most `timeout`. Returns false on time-out.
    bool wait_until_parked(std::chrono::milliseconds timeout);
    // Blocks until every device is closed and at least one was opened, at most `timeout`.
    bool wait_until_closed(std::chrono::milliseconds timeout);
}
