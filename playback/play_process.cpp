// One playback run on its own thread: open the exclusive stream at the track's rate, fade
// in, render buffer after buffer from memory, apply seeks, and on pause, stop or the end of
// the track fade out and close the stream. Samples leave as 24-bit little-endian integers.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "engine/exception.h"
#include "platform/realtime.h"
#include "playback/track.h"
#include "playback/track_thread.h"

namespace Corvane
{
    namespace
    {
        // A buffer is due every few milliseconds; this long without one means the device is
        // gone (unplugged) or hung, and waiting on would hang the player and its shutdown.
        constexpr int buffer_wait_timeout_ms = 2000;

        constexpr double start_fade_seconds = 0.25;
        constexpr double seek_fade_seconds = 0.15;

        // A track that ended with nothing following gives the card back after this long.
        constexpr double end_grace_seconds = 2.0;

        // A sound server that let go of the card may take a moment to close its last stream.
        constexpr int open_retries = 20;
        constexpr auto open_retry_pause = std::chrono::milliseconds(50);

        [[noreturn]] void raise_device_busy()
        {
            throw Kestrane::Exception("The sound card is currently being used in exclusive mode.");
        }

        [[noreturn]] void raise_no_buffer()
        {
            throw Kestrane::Exception("Could not get an audio buffer.");
        }

        [[noreturn]] void raise_buffer_not_released()
        {
            throw Kestrane::Exception("Could not release an audio buffer.");
        }

        // Full scale maps to 0x7FFFFF; anything beyond is held at the 24-bit limits instead
        // of wrapping into a loud click.
        int32_t to_int24(double sample)
        {
            const double x = sample * 8388607.0 + 0.5;
            if (x >= 8388607.0)
                return 8388607;
            if (x > -8388608.0)
                return static_cast<int32_t>(x);
            return -8388608;
        }

        void store(uint8_t* out, int32_t value, bool padded, uint32_t bytes)
        {
            const uint32_t bits = padded ? static_cast<uint32_t>(value) << 8 : static_cast<uint32_t>(value);
            for (uint32_t b = 0; b < bytes; ++b)
                out[b] = static_cast<uint8_t>(bits >> (8 * b));
        }

        // One frame's step of the running gain towards the current fade's target.
        void step_gain(Track* track)
        {
            const double from = track->fade_from.load(std::memory_order_relaxed);
            const double to = track->fade_to.load(std::memory_order_relaxed);
            const double frames = track->sample_rate * track->fade_seconds.load(std::memory_order_relaxed);
            const double gain = track->gain.load(std::memory_order_relaxed);
            double next;
            if (from > to)
                next = gain > to ? gain - from / frames : to;
            else
                next = to > gain ? gain + to / frames : to;
            track->gain.store(next, std::memory_order_relaxed);
        }

        // Whether the run must end before its stream starts: the Track is going away, a load
        // is waiting for the lock, or the user paused since the play. Clears the run's flags
        // so that the next play() starts.
        bool give_way(Track* track)
        {
            if (!track->quit.load() && !track->loading.load() && !track->pause_asked.load())
                return false;
            track->playing.store(false);
            track->starting.store(false);
            return true;
        }

        // With the card closed: kept while another track follows (a load, or the end of this
        // one, whose successor the main loop is about to load), given back on a pause, when
        // another program was promised it, and at exit.
        void keep_or_give_back(Track* track)
        {
            Platform::Device_Reservation& reservation = track->reservation;
            if (track->quit.load() || reservation.release_requested())
                reservation.release();
            else if (track->loading.load())
                reservation.keep(-1.0);
            else if (track->position.load() >= track->frame_count.load())
                reservation.keep(end_grace_seconds);
            else
                reservation.release();
        }

        void play_body(Track* track)
        {
            Track::Play_Process process;
            process(track);
        }
    }

    void Track::play()
    {
        // Also when a run is already opening its stream: that run then plays.
        pause_asked.store(false);
        bool idle = false;
        if (!starting.compare_exchange_strong(idle, true))
            return;
        playing.store(false, std::memory_order_relaxed);
        try
        {
            launch_track_thread(this, play_body);
        }
        catch (...)
        {
            starting.store(false);
            throw;
        }
    }

    // The request first: a run that sets `playing` as its stream starts then still sees it.
    void Track::pause()
    {
        pause_asked.store(true);
        playing.store(false);
    }

    Track::Play_Process::~Play_Process()
    {
        if (realtime)
            Platform::leave_realtime_class();
    }

    Track::Play_Process::Hand_Back::~Hand_Back()
    {
        if (track)
            keep_or_give_back(track);
    }

    void Track::Play_Process::operator()(Track* played)
    try
    {
        lock = std::unique_lock(played->mutex);
        track = played;
        hand_back.track = played;
        // The Track is being destroyed, or the user picked another track while this run
        // waited: opening a stream only to close it again would delay either.
        if (give_way(track))
            return;

        initialize();
        // Refused without the right to real-time scheduling, which is not fatal: the device's
        // period allows for a normally scheduled thread.
        realtime = Platform::enter_realtime_class();

        if (!device.get_buffer())
            raise_no_buffer();
        if (!device.release_buffer(true))
            raise_buffer_not_released();

        // Set `playing` first, so that the main loop never sees both flags clear in between.
        // A load clears `playing` after it sets `loading`: either it clears it after this
        // store, or give_way sees its `loading`. Either way the new track is not held up.
        track->playing.store(true);
        track->starting.store(false);
        if (give_way(track))
            return;
        if (!device.start())
            throw Kestrane::Exception("Could not start the audio client.");
        fade(track->volume.load(std::memory_order_relaxed), start_fade_seconds);

        for (;;)
        {
            // A program that ranks higher was promised the card: pause as the user would.
            if (track->reservation.release_requested())
                track->playing.store(false);
            if (!track->playing.load(std::memory_order_relaxed) || track->quit.load(std::memory_order_relaxed))
                return stop();
            fill_buffer();
            if (track->seek.load(std::memory_order_relaxed) != 0)
            {
                fade(0.0, seek_fade_seconds);
                const int64_t target = track->position.load(std::memory_order_relaxed) + track->seek.exchange(0);
                track->position.store(
                    std::clamp<int64_t>(target, 0, track->frame_count.load(std::memory_order_relaxed)),
                    std::memory_order_relaxed);
                fade(track->volume.load(std::memory_order_relaxed), seek_fade_seconds);
            }
            if (track->position.load(std::memory_order_relaxed) >= track->frame_count.load(std::memory_order_relaxed))
                track->playing.store(false, std::memory_order_relaxed);
        }
    }
    catch (const Kestrane::Exception&)
    {
        // The user's message stays as it is; what the system said goes where a report can
        // quote it.
        if (!device.failure.empty())
            std::fprintf(stderr, "Corvane: %s\n", device.failure.c_str());
        throw;
    }

    void Track::Play_Process::initialize()
    {
        const uint32_t rate = track->sample_rate;
        // The device enumerator, activation, raw-stream switch, render service and event are
        // the platform device's business; it names which of them failed, where its system has
        // them (an ALSA hw device is always raw). A device that is there but cannot be opened
        // is what failed activation meant.
        switch (open_device())
        {
        case Platform::Audio_Result::ok: break;
        case Platform::Audio_Result::no_device: throw Kestrane::Exception("Could not get the default audio device.");
        case Platform::Audio_Result::device_in_use: raise_device_busy();
        case Platform::Audio_Result::no_device_list:
            throw Kestrane::Exception("Could not create the multimedia device enumerator instance.");
        default: throw Kestrane::Exception("Could not activate the default audio device.");
        }

        if (try_format(false) == Platform::Audio_Result::unsupported_format &&
            try_format(true) == Platform::Audio_Result::unsupported_format)
            throw Kestrane::Exception("Your sound card does not support " + std::to_string(rate) +
                                      "Hz 24bit stereo playback.");

        Platform::Audio_Result result = device.initialize(rate, padded, device.minimum_period(rate));
        if (result == Platform::Audio_Result::device_in_use)
            raise_device_busy();
        buffer_frames = device.buffer_frames();
        if (result == Platform::Audio_Result::buffer_not_aligned)
        {
            // The device told us its aligned buffer; ask for exactly that duration.
            const auto aligned = static_cast<int64_t>(10000.0 * 1000 / rate * buffer_frames + 0.5);
            result = device.initialize(rate, padded, aligned);
            // Trust the device over our arithmetic: a bigger buffer than it has would overrun it.
            buffer_frames = device.buffer_frames();
        }
        switch (result)
        {
        case Platform::Audio_Result::ok: break;
        case Platform::Audio_Result::raw_unsupported: throw Kestrane::Exception("Your OS does not support raw audio streams.");
        case Platform::Audio_Result::no_render_service:
            throw Kestrane::Exception("Could not initialize the audio render client.");
        case Platform::Audio_Result::no_buffer_event: throw Kestrane::Exception("Could not create the fill buffer event.");
        default: throw Kestrane::Exception("Could not initialize the audio client.");
        }
        if (buffer_frames == 0)
            throw Kestrane::Exception("Could not initialize the audio client.");
    }

    // Borrows the card from whoever holds it for the desktop, then opens it. A card that
    // nobody manages is opened directly; one that a higher-ranking program keeps is busy.
    Platform::Audio_Result Track::Play_Process::open_device()
    {
        const Platform::Audio_Card card = Platform::default_audio_card();
        switch (track->reservation.acquire(card.index, card.name))
        {
        case Platform::Reservation::refused: return Platform::Audio_Result::device_in_use;
        case Platform::Reservation::reserved: reserved = true; break;
        default: break;
        }
        Platform::Audio_Result result = device.open();
        for (int retry = 0; reserved && result == Platform::Audio_Result::device_in_use && retry < open_retries;
             ++retry)
        {
            std::this_thread::sleep_for(open_retry_pause);
            result = device.open();
        }
        return result;
    }

    Platform::Audio_Result Track::Play_Process::try_format(bool padded_samples)
    {
        padded = padded_samples;
        block_align = padded ? 8 : 6;
        return device.test_format(track->sample_rate, padded);
    }

    void Track::Play_Process::fade(double target, double seconds)
    {
        track->set_volume(target, seconds);
        while (track->gain.load(std::memory_order_relaxed) != track->fade_to.load(std::memory_order_relaxed) &&
               track->position.load(std::memory_order_relaxed) < track->frame_count.load(std::memory_order_relaxed))
            fill_buffer();
    }

    void Track::Play_Process::fill_buffer()
    {
        switch (device.wait(buffer_wait_timeout_ms))
        {
        case Platform::Audio_Wait::due: break;
        case Platform::Audio_Wait::timed_out: throw Kestrane::Exception("The sound card stopped requesting audio.");
        default: throw Kestrane::Exception("Could not recover the audio stream.");
        }
        uint8_t* buffer = device.get_buffer();
        if (!buffer)
            raise_no_buffer();

        const int64_t start = track->position.load(std::memory_order_relaxed);
        const int64_t frames =
            std::clamp<int64_t>(track->frame_count.load(std::memory_order_relaxed) - start, 0, buffer_frames);
        const uint32_t half = block_align / 2;
        for (int64_t i = 0; i < frames; ++i)
        {
            step_gain(track);
            const double gain = track->gain.load(std::memory_order_relaxed);
            uint8_t* out = buffer + i * block_align;
            store(out, to_int24(track->get_sample(start + i, false) * gain), padded, half);
            store(out + half, to_int24(track->get_sample(start + i, true) * gain), padded, half);
            track->position.store(start + i + 1, std::memory_order_relaxed);
        }
        std::memset(buffer + frames * block_align, 0, static_cast<size_t>(buffer_frames - frames) * block_align);

        if (!device.release_buffer(false))
            raise_buffer_not_released();
    }

    // Fade out, let two silent buffers drain the stream, stop. The silent buffers and the stop
    // are not checked: the run ends either way, and a dead device only shortens the silence.
    void Track::Play_Process::stop()
    {
        fade(0.0, start_fade_seconds);
        for (int i = 0; i < 2; ++i)
        {
            if (device.wait(buffer_wait_timeout_ms) != Platform::Audio_Wait::due)
                break;
            if (device.get_buffer())
                device.release_buffer(true);
        }
        device.stop();
    }
}
