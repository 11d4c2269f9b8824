// The in-memory sound card (see memory_audio_device.h).
#include "doubles/memory_audio_device.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

using Platform::Audio_Result;
using Platform::Audio_Wait;

namespace Memory_Audio_Device
{
    namespace
    {
        struct Shared
        {
            std::mutex mutex;
            std::condition_variable changed;
            Settings settings;
            std::vector<std::string> calls;
            std::vector<Buffer> buffers;
            int get_buffers = 0; // get_buffer calls so far
            int releases = 0;    // release_buffer calls so far
            int waits = 0;       // wait calls so far
            int credit = 0;      // stepped: waits allowed to return
            bool parked = false; // stepped: a wait is blocked for want of credit
            int open = 0;        // devices alive
            int opened = 0;      // devices ever created since reset
            int held = 0;        // devices opened and not yet closed: at most one
            int refused = 0;     // opens refused since reset because the card was held
        };

        Shared& shared()
        {
            static Shared s;
            return s;
        }

        void record(const std::string& call)
        {
            std::lock_guard lock(shared().mutex);
            shared().calls.push_back(call);
        }

        const char* layout(bool padded)
        {
            return padded ? "padded" : "packed";
        }
    }

    void reset(const Settings& settings)
    {
        Shared& s = shared();
        std::lock_guard lock(s.mutex);
        s.settings = settings;
        s.calls.clear();
        s.buffers.clear();
        s.get_buffers = s.releases = s.waits = s.credit = s.opened = s.refused = 0;
        s.parked = false;
    }

    std::vector<std::string> calls()
    {
        std::lock_guard lock(shared().mutex);
        return shared().calls;
    }

    std::vector<Buffer> buffers()
    {
        std::lock_guard lock(shared().mutex);
        return shared().buffers;
    }

    int devices_open()
    {
        std::lock_guard lock(shared().mutex);
        return shared().open;
    }

    void step(int count)
    {
        {
            std::lock_guard lock(shared().mutex);
            shared().credit += count;
        }
        shared().changed.notify_all();
    }

    bool wait_until_parked(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(shared().mutex);
        return shared().changed.wait_for(lock, timeout, [] { return shared().parked && shared().credit == 0; });
    }

    int refused_opens()
    {
        std::lock_guard lock(shared().mutex);
        return shared().refused;
    }

    bool wait_until_closed(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(shared().mutex);
        return shared().changed.wait_for(lock, timeout, [] { return shared().opened > 0 && shared().open == 0; });
    }
}

namespace Platform
{
    using namespace Memory_Audio_Device;

    struct Audio_Device::State
    {
        uint32_t sample_rate = 0;
        uint32_t frame_bytes = 0;
        uint32_t frames = 0; // buffer size, 0 before initialize
        std::vector<uint8_t> buffer;
        bool opened = false;
        bool started = false;
        int waits_since_start = 0;
        std::chrono::steady_clock::time_point start_time;
    };

    Audio_Card default_audio_card()
    {
        return {0, "Memory card"};
    }

    Audio_Device::Audio_Device() : state(std::make_unique<State>())
    {
        std::lock_guard lock(shared().mutex);
        ++shared().open;
        ++shared().opened;
    }

    Audio_Device::~Audio_Device()
    {
        if (state->opened)
        {
            std::unique_lock lock(shared().mutex);
            const auto close_time = shared().settings.close_time;
            lock.unlock();
            std::this_thread::sleep_for(close_time);
        }
        {
            std::lock_guard lock(shared().mutex);
            shared().calls.push_back("close");
            --shared().open;
            shared().held -= state->opened ? 1 : 0;
        }
        shared().changed.notify_all();
    }

    Audio_Result Audio_Device::open()
    {
        record("open");
        Shared& s = shared();
        std::lock_guard lock(s.mutex);
        // Like the real device, it says which call failed.
        failure.clear();
        Audio_Result result = s.settings.open_result;
        if (s.settings.busy_opens > 0)
        {
            --s.settings.busy_opens;
            failure = "open: the holder is still closing the device";
            return Audio_Result::device_in_use;
        }
        if (result == Audio_Result::ok && s.held > 0)
        {
            ++s.refused;
            failure = "open: the device is held";
            return Audio_Result::device_in_use;
        }
        state->opened = result == Audio_Result::ok;
        s.held += state->opened ? 1 : 0;
        if (!state->opened)
            failure = "open: refused by the test";
        return result;
    }

    Audio_Result Audio_Device::test_format(uint32_t sample_rate, bool padded)
    {
        record("test_format " + std::to_string(sample_rate) + " " + layout(padded));
        std::lock_guard lock(shared().mutex);
        const Settings& s = shared().settings;
        const bool refused =
            (padded ? s.refuse_padded : s.refuse_packed) ||
            std::find(s.refused_rates.begin(), s.refused_rates.end(), sample_rate) != s.refused_rates.end();
        return refused ? Audio_Result::unsupported_format : Audio_Result::ok;
    }

    int64_t Audio_Device::minimum_period(uint32_t sample_rate)
    {
        record("minimum_period " + std::to_string(sample_rate));
        std::lock_guard lock(shared().mutex);
        return shared().settings.minimum_period;
    }

    Audio_Result Audio_Device::initialize(uint32_t sample_rate, bool padded, int64_t period)
    {
        record("initialize " + std::to_string(sample_rate) + " " + layout(padded) + " " + std::to_string(period));
        std::lock_guard lock(shared().mutex);
        const Settings& s = shared().settings;
        const auto frames = static_cast<uint32_t>(std::llround(static_cast<double>(period) * sample_rate / 1e7));
        state->sample_rate = sample_rate;
        state->frame_bytes = padded ? 8 : 6;
        if (s.alignment && frames % s.alignment != 0)
        {
            // Like the system's exclusive mode: the size it could do is readable afterwards.
            state->frames = (frames / s.alignment + 1) * s.alignment;
            return Audio_Result::buffer_not_aligned;
        }
        state->frames = frames;
        if (s.initialize_result != Audio_Result::ok)
            return s.initialize_result;
        state->buffer.assign(static_cast<size_t>(frames) * state->frame_bytes, 0);
        return Audio_Result::ok;
    }

    uint32_t Audio_Device::buffer_frames()
    {
        return state->frames;
    }

    Audio_Wait Audio_Device::wait(int timeout_ms)
    {
        Shared& s = shared();
        std::unique_lock lock(s.mutex);
        s.calls.push_back("wait");
        const int index = s.waits++;
        const auto timeout = std::chrono::milliseconds(timeout_ms);
        if (s.settings.fail_wait_at == index)
            return Audio_Wait::failed;
        if (s.settings.stall_at_wait >= 0 && index >= s.settings.stall_at_wait)
        {
            lock.unlock();
            std::this_thread::sleep_for(timeout);
            return Audio_Wait::timed_out;
        }
        if (s.settings.pace == Pace::stepped)
        {
            s.parked = true;
            s.changed.notify_all();
            const bool due = s.changed.wait_for(lock, timeout, [&] { return s.credit > 0; });
            s.parked = false;
            if (!due)
                return Audio_Wait::timed_out;
            --s.credit;
            return Audio_Wait::due;
        }
        if (s.settings.pace == Pace::paced && state->started)
        {
            // Two buffers in the ring, one primed: the k-th wait after start is due k periods in.
            const double period = state->frames / (static_cast<double>(state->sample_rate) * s.settings.speed);
            const auto due_at =
                state->start_time + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(period * state->waits_since_start++));
            lock.unlock();
            std::this_thread::sleep_until(due_at);
        }
        return Audio_Wait::due;
    }

    uint8_t* Audio_Device::get_buffer()
    {
        std::lock_guard lock(shared().mutex);
        shared().calls.push_back("get_buffer");
        if (shared().get_buffers++ == shared().settings.fail_get_buffer_at || state->buffer.empty())
            return nullptr;
        // Garbage, so that a test sees any byte the player forgot to write.
        std::fill(state->buffer.begin(), state->buffer.end(), uint8_t{0xA5});
        return state->buffer.data();
    }

    bool Audio_Device::release_buffer(bool silent)
    {
        std::function<void(int)> hook;
        int index;
        {
            std::lock_guard lock(shared().mutex);
            Shared& s = shared();
            s.calls.push_back(silent ? "release_buffer silent" : "release_buffer");
            index = s.releases++;
            if (index == s.settings.fail_release_at)
                return false;
            if (s.settings.keep_bytes)
            {
                Buffer b{state->buffer, silent, state->started};
                if (silent)
                    std::fill(b.bytes.begin(), b.bytes.end(), uint8_t{0});
                s.buffers.push_back(std::move(b));
            }
            hook = s.settings.on_release;
        }
        if (hook)
            hook(index);
        return true;
    }

    bool Audio_Device::start()
    {
        record("start");
        std::lock_guard lock(shared().mutex);
        if (shared().settings.fail_start)
            return false;
        state->started = true;
        state->waits_since_start = 0;
        state->start_time = std::chrono::steady_clock::now();
        return true;
    }

    void Audio_Device::stop()
    {
        record("stop");
        state->started = false;
    }
}
