// The exclusive output stream of the default sound card, as the play thread drives it:
// open, test a format, open the stream, then per period wait, fill the whole buffer and
// hand it back. One implementation per system (ALSA here); tests link an in-memory one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace Platform
{
    enum class Audio_Result
    {
        ok,
        no_device,          // no card, or no default device
        device_in_use,      // another program holds the device exclusively
        unsupported_format, // the device refuses this rate or sample layout
        buffer_not_aligned, // Windows only: the period must be re-computed from buffer_frames and opened again
        no_device_list,     // Windows only: the system's list of sound devices cannot be had
        raw_unsupported,    // Windows only: the system cannot bypass its effects and conversions
        no_render_service,  // Windows only: the opened stream offers no way to write to it
        no_buffer_event,    // Windows only: the opened stream cannot signal when a buffer is due
        failed,             // any other failure
    };

    enum class Audio_Wait
    {
        due,       // a whole buffer can be written
        timed_out, // the device did not ask for data in time
        failed,    // the stream broke and could not be recovered
    };

    // The card that Audio_Device::open() opens.
    struct Audio_Card
    {
        int index = 0;    // the system's number of the card
        std::string name; // readable, for other programs that ask who holds it
    };

    // Any thread; does not block; throws nothing.
    Audio_Card default_audio_card();

    // One exclusive, raw stream: 2 channels, 24 valid bits in 3-byte (S24_3LE) or 4-byte
    // (sample << 8, S32_LE) little-endian containers, at the track's exact rate.
    // Every call is made by the one play thread that owns the object.
    class Audio_Device
    {
    public:
        Audio_Device();
        ~Audio_Device(); // drops the stream and closes the device
        Audio_Device(const Audio_Device&) = delete;
        Audio_Device& operator=(const Audio_Device&) = delete;

        // Opens the default device exclusively without waiting for a busy one.
        // Blocks briefly; throws nothing.
        Audio_Result open();

        // Whether the opened device plays stereo at `sample_rate` in this layout
        // (`padded`: 4-byte containers). Throws nothing.
        Audio_Result test_format(uint32_t sample_rate, bool padded);

        // Shortest period the stream may use, in 100-nanosecond units. Throws nothing.
        int64_t minimum_period(uint32_t sample_rate);

        // Opens the stream in the given layout with buffer = `period` (100-ns units);
        // the system keeps two such buffers. Throws nothing.
        Audio_Result initialize(uint32_t sample_rate, bool padded, int64_t period);

        // Frames in one buffer, valid after initialize (also after buffer_not_aligned).
        uint32_t buffer_frames();

        // Blocks until a whole buffer is due, at most `timeout_ms`. Underruns and
        // suspends are recovered here. Throws nothing.
        Audio_Wait wait(int timeout_ms);

        // The whole buffer (buffer_frames x frame bytes) to fill, or null on failure.
        uint8_t* get_buffer();
        // Hands the buffer to the device; `silent` plays zeros whatever it holds.
        bool release_buffer(bool silent);

        bool start();
        void stop(); // discards what is still queued

        // The system call that failed in the last call of this object and the system's own
        // words for it ("snd_pcm_open: Device or resource busy"), empty when none failed. Not
        // for the user's eyes: it goes to standard error beside the user's message.
        std::string failure;

        struct State; // one per system
        std::unique_ptr<State> state;
    };
}
