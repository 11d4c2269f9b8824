// The exclusive output stream on Linux: the ALSA `hw` device of the default card, with no
// plugin in between, so nothing mixes, resamples or converts what the player renders and no
// other program can share the card. The stream keeps two periods; the play thread fills one
// period at a time from a staging buffer. Underruns and suspends are recovered where they
// are met; only what cannot be recovered is reported as a failure.
#include "platform/audio_device.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace Platform
{
    namespace
    {
        // The direct device of the default card: ALSA_CARD and defaults.pcm.card choose the
        // card, and a test's ALSA_CONFIG_PATH can redefine `pcm.hw` as its virtual card.
        constexpr const char* device_name = "hw";

        // A period shorter than this would need real-time scheduling to play without gaps;
        // with two periods queued a normally scheduled thread has a whole period of slack.
        constexpr int64_t period_floor = 200000; // 100-ns units (20 ms)

        constexpr int64_t units_per_second = 10000000; // 100-ns units

        constexpr int channels = 2;

        snd_pcm_format_t sample_format(bool padded)
        {
            return padded ? SND_PCM_FORMAT_S32_LE : SND_PCM_FORMAT_S24_3LE;
        }

        uint32_t frame_bytes(bool padded)
        {
            return padded ? 8 : 6;
        }

        Audio_Result open_error(int error)
        {
            switch (error)
            {
            case -EBUSY:
            case -EAGAIN: return Audio_Result::device_in_use;
            case -ENOENT:
            case -ENODEV:
            case -ENXIO: return Audio_Result::no_device;
            default: return Audio_Result::failed;
            }
        }

        Audio_Result setup_error(int error)
        {
            if (error == -EINVAL)
                return Audio_Result::unsupported_format;
            if (error == -EBUSY)
                return Audio_Result::device_in_use;
            return Audio_Result::failed;
        }

        struct Hw_Params
        {
            snd_pcm_hw_params_t* params = nullptr;
            Hw_Params() { snd_pcm_hw_params_malloc(&params); }
            ~Hw_Params() { snd_pcm_hw_params_free(params); }
            Hw_Params(const Hw_Params&) = delete;
            Hw_Params& operator=(const Hw_Params&) = delete;
        };

        struct Sw_Params
        {
            snd_pcm_sw_params_t* params = nullptr;
            Sw_Params() { snd_pcm_sw_params_malloc(&params); }
            ~Sw_Params() { snd_pcm_sw_params_free(params); }
            Sw_Params(const Sw_Params&) = delete;
            Sw_Params& operator=(const Sw_Params&) = delete;
        };

        // Restricts `params` to raw stereo in `format` at exactly `sample_rate`.
        int restrict_stream(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, snd_pcm_format_t format, uint32_t sample_rate)
        {
            int error = snd_pcm_hw_params_any(pcm, params);
            if (error >= 0)
                error = snd_pcm_hw_params_set_rate_resample(pcm, params, 0);
            if (error >= 0)
                error = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
            if (error >= 0)
                error = snd_pcm_hw_params_set_format(pcm, params, format);
            if (error >= 0)
                error = snd_pcm_hw_params_set_channels(pcm, params, channels);
            if (error >= 0)
                error = snd_pcm_hw_params_set_rate(pcm, params, sample_rate, 0);
            return error;
        }

        // One period of `period` (100-ns units) or the nearest the device allows, two of them
        // in the buffer (or the fewest the device allows).
        int set_periods(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, uint32_t sample_rate, int64_t period)
        {
            auto frames = snd_pcm_uframes_t(
                std::max<int64_t>(1, (period * sample_rate + units_per_second / 2) / units_per_second));
            int error = snd_pcm_hw_params_set_periods_integer(pcm, params);
            if (error >= 0)
                error = snd_pcm_hw_params_set_period_size_near(pcm, params, &frames, nullptr);
            if (error < 0)
                return error;
            if (snd_pcm_hw_params_set_periods(pcm, params, 2, 0) >= 0)
                return 0;
            unsigned periods = 2;
            return snd_pcm_hw_params_set_periods_near(pcm, params, &periods, nullptr);
        }

        // Room for a period beyond the two that are queued: a card whose buffer must hold
        // more periods is still kept two deep, so that the two silent buffers that end a run
        // leave no music for the stop to throw away, and a pause or seek is heard as soon.
        snd_pcm_uframes_t due_when_free(snd_pcm_uframes_t period, snd_pcm_uframes_t buffer)
        {
            return buffer - std::min(buffer, 2 * period) + period;
        }

        // Explicit start, a buffer due once at most one period is queued, and an underrun as
        // soon as the queue runs dry. After a recovery the stream restarts by itself once
        // both periods are queued again.
        int set_software(snd_pcm_t* pcm, snd_pcm_uframes_t period, snd_pcm_uframes_t buffer)
        {
            Sw_Params sw;
            if (!sw.params)
                return -ENOMEM;
            int error = snd_pcm_sw_params_current(pcm, sw.params);
            if (error >= 0)
                error = snd_pcm_sw_params_set_avail_min(pcm, sw.params, due_when_free(period, buffer));
            if (error >= 0)
                error = snd_pcm_sw_params_set_start_threshold(pcm, sw.params, std::min(buffer, 2 * period));
            if (error >= 0)
                error = snd_pcm_sw_params_set_stop_threshold(pcm, sw.params, buffer);
            if (error >= 0)
                error = snd_pcm_sw_params(pcm, sw.params);
            return error;
        }

        // Remembers what failed, in ALSA's words, and passes the error on.
        int noted(std::string& failure, const char* call, int error)
        {
            if (error < 0)
                failure = std::string(call) + ": " + snd_strerror(error);
            return error;
        }

        int milliseconds_until(std::chrono::steady_clock::time_point deadline)
        {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            return int(std::max<int64_t>(0, left.count()));
        }
    }

    struct Audio_Device::State
    {
        snd_pcm_t* pcm = nullptr;
        bool padded = false;          // layout of the last accepted format test
        snd_pcm_uframes_t period = 0; // frames per buffer handed to the play thread
        snd_pcm_uframes_t due = 0;    // free frames at which the next buffer is due
        std::vector<uint8_t> staging; // one period, filled by the play thread

        ~State()
        {
            if (pcm)
            {
                snd_pcm_drop(pcm);
                snd_pcm_close(pcm);
            }
        }

        // Brings the stream back after an underrun or a suspend; false when it cannot be.
        bool recover(int error)
        {
            if (error == -ESTRPIPE)
            {
                for (int attempt = 0; attempt < 100 && (error = snd_pcm_resume(pcm)) == -EAGAIN; ++attempt)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (error >= 0)
                    return true;
                error = -EPIPE; // the device cannot resume in place: start the stream anew
            }
            if (error == -EPIPE)
                return snd_pcm_prepare(pcm) >= 0;
            return false;
        }

        // The state's own error, as the stream calls would report it.
        int state_error()
        {
            switch (snd_pcm_state(pcm))
            {
            case SND_PCM_STATE_XRUN: return -EPIPE;
            case SND_PCM_STATE_SUSPENDED: return -ESTRPIPE;
            case SND_PCM_STATE_DISCONNECTED: return -ENODEV;
            default: return 0;
            }
        }
    };

    // As the `hw` device picks its card: ALSA_PCM_CARD, ALSA_CARD, then defaults.pcm.card.
    Audio_Card default_audio_card()
    {
        Audio_Card card;
        std::string chosen;
        for (const char* variable : {"ALSA_PCM_CARD", "ALSA_CARD"})
            if (const char* value = std::getenv(variable); value && *value && chosen.empty())
                chosen = value;
        snd_config_t* top = nullptr;
        snd_config_t* node = nullptr;
        long number = 0;
        const char* text = nullptr;
        if (chosen.empty() && snd_config_update_ref(&top) >= 0)
        {
            if (snd_config_search(top, "defaults.pcm.card", &node) >= 0)
            {
                if (snd_config_get_integer(node, &number) >= 0)
                    chosen = std::to_string(number);
                else if (snd_config_get_string(node, &text) >= 0 && text)
                    chosen = text;
            }
            snd_config_unref(top);
        }
        if (!chosen.empty())
            card.index = std::max(0, snd_card_get_index(chosen.c_str()));
        char* name = nullptr;
        if (snd_card_get_name(card.index, &name) >= 0 && name)
            card.name = name;
        else
            card.name = "hw:" + std::to_string(card.index);
        std::free(name);
        return card;
    }

    Audio_Device::Audio_Device() : state(std::make_unique<State>()) {}

    Audio_Device::~Audio_Device() = default;

    Audio_Result Audio_Device::open()
    {
        failure.clear();
        if (state->pcm)
            return Audio_Result::ok;
        // Non-blocking: a blocking open would wait for a busy card instead of failing.
        int error = noted(failure, "snd_pcm_open",
                          snd_pcm_open(&state->pcm, device_name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK));
        if (error < 0)
        {
            state->pcm = nullptr;
            return open_error(error);
        }
        error = noted(failure, "snd_pcm_nonblock", snd_pcm_nonblock(state->pcm, 0));
        if (error < 0)
        {
            snd_pcm_close(state->pcm);
            state->pcm = nullptr;
            return Audio_Result::failed;
        }
        return Audio_Result::ok;
    }

    Audio_Result Audio_Device::test_format(uint32_t sample_rate, bool padded)
    {
        failure.clear();
        if (!state->pcm)
            return Audio_Result::failed;
        Hw_Params hw;
        if (!hw.params)
            return Audio_Result::failed;
        const int error = noted(failure, "snd_pcm_hw_params (format and rate)",
                                restrict_stream(state->pcm, hw.params, sample_format(padded), sample_rate));
        if (error < 0)
            return setup_error(error);
        state->padded = padded;
        return Audio_Result::ok;
    }

    int64_t Audio_Device::minimum_period(uint32_t sample_rate)
    {
        Hw_Params hw;
        if (!state->pcm || !hw.params ||
            restrict_stream(state->pcm, hw.params, sample_format(state->padded), sample_rate) < 0)
            return period_floor;
        snd_pcm_hw_params_set_periods(state->pcm, hw.params, 2, 0); // where allowed, it bounds the period
        unsigned microseconds = 0;
        if (snd_pcm_hw_params_get_period_time_min(hw.params, &microseconds, nullptr) < 0)
            return period_floor;
        return std::max<int64_t>(period_floor, int64_t(microseconds) * 10);
    }

    Audio_Result Audio_Device::initialize(uint32_t sample_rate, bool padded, int64_t period)
    {
        failure.clear();
        if (!state->pcm)
            return Audio_Result::failed;
        Hw_Params hw;
        if (!hw.params)
            return Audio_Result::failed;
        int error = noted(failure, "snd_pcm_hw_params (format and rate)",
                          restrict_stream(state->pcm, hw.params, sample_format(padded), sample_rate));
        if (error < 0)
            return setup_error(error);
        error = noted(failure, "snd_pcm_hw_params (periods)", set_periods(state->pcm, hw.params, sample_rate, period));
        if (error >= 0)
            error = noted(failure, "snd_pcm_hw_params", snd_pcm_hw_params(state->pcm, hw.params));
        snd_pcm_uframes_t period_frames = 0;
        snd_pcm_uframes_t buffer_frames = 0;
        if (error >= 0)
            error = noted(failure, "snd_pcm_hw_params_get_period_size",
                          snd_pcm_hw_params_get_period_size(hw.params, &period_frames, nullptr));
        if (error >= 0)
            error = noted(failure, "snd_pcm_hw_params_get_buffer_size",
                          snd_pcm_hw_params_get_buffer_size(hw.params, &buffer_frames));
        if (error >= 0)
            error = noted(failure, "snd_pcm_sw_params", set_software(state->pcm, period_frames, buffer_frames));
        if (error < 0)
            return error == -EBUSY ? Audio_Result::device_in_use : Audio_Result::failed;
        state->padded = padded;
        state->period = period_frames;
        state->due = due_when_free(period_frames, buffer_frames);
        state->staging.assign(period_frames * frame_bytes(padded), 0);
        return Audio_Result::ok;
    }

    uint32_t Audio_Device::buffer_frames()
    {
        return uint32_t(state->period);
    }

    Audio_Wait Audio_Device::wait(int timeout_ms)
    {
        failure.clear();
        if (!state->pcm || state->period == 0)
            return Audio_Wait::failed;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        // One recovery leaves a whole buffer free; a stream that keeps breaking is broken.
        int recoveries = 0;
        for (;;)
        {
            int error = state->state_error();
            if (error < 0)
            {
                noted(failure, "snd_pcm_state", error);
                if (++recoveries > 3 || !state->recover(error))
                    return Audio_Wait::failed;
                continue;
            }
            const snd_pcm_sframes_t available = snd_pcm_avail(state->pcm);
            if (available < 0)
            {
                noted(failure, "snd_pcm_avail", int(available));
                if (++recoveries > 3 || !state->recover(int(available)))
                    return Audio_Wait::failed;
                continue;
            }
            if (snd_pcm_uframes_t(available) >= state->due)
            {
                failure.clear(); // whatever broke on the way was recovered
                return Audio_Wait::due;
            }
            const int left = milliseconds_until(deadline);
            if (left == 0)
                return Audio_Wait::timed_out;
            error = noted(failure, "snd_pcm_wait", snd_pcm_wait(state->pcm, left));
            if (error == 0)
                return Audio_Wait::timed_out;
            if (error < 0 && (++recoveries > 3 || !state->recover(error)))
                return Audio_Wait::failed;
        }
    }

    uint8_t* Audio_Device::get_buffer()
    {
        return state->staging.empty() ? nullptr : state->staging.data();
    }

    bool Audio_Device::release_buffer(bool silent)
    {
        failure.clear();
        if (!state->pcm || state->staging.empty())
            return false;
        if (silent)
            std::memset(state->staging.data(), 0, state->staging.size());
        const uint32_t bytes_per_frame = uint32_t(state->staging.size() / state->period);
        snd_pcm_uframes_t done = 0;
        int recoveries = 0;
        while (done < state->period)
        {
            const snd_pcm_sframes_t written =
                snd_pcm_writei(state->pcm, state->staging.data() + done * bytes_per_frame, state->period - done);
            if (written >= 0)
                done += snd_pcm_uframes_t(written);
            else if (written == -EAGAIN || written == -EINTR)
                continue;
            else if (noted(failure, "snd_pcm_writei", int(written)) &&
                     (++recoveries > 3 || !state->recover(int(written))))
                return false;
        }
        failure.clear(); // whatever broke on the way was recovered
        return true;
    }

    bool Audio_Device::start()
    {
        failure.clear();
        if (!state->pcm)
            return false;
        const int error = noted(failure, "snd_pcm_start", snd_pcm_start(state->pcm));
        // A stream that has just been refilled after an underrun starts by itself.
        return error >= 0 || snd_pcm_state(state->pcm) == SND_PCM_STATE_RUNNING;
    }

    void Audio_Device::stop()
    {
        if (state->pcm)
            snd_pcm_drop(state->pcm);
    }
}
