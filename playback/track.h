// The player: one track decoded whole into memory on a loader thread, then rendered by a
// play thread through the exclusive audio stream, with linear fades for every start, stop,
// pause, seek and volume change. The main loop owns exactly one Track for the whole run.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/audio_device.h"
#include "platform/device_reservation.h"

namespace Kestrane
{
    class Window;
}

namespace Corvane
{
    class File;

    class Track
    {
    public:
        class Play_Process;

        explicit Track(Kestrane::Window* window); // may be null (no owner for error boxes)
        ~Track(); // stops the loader and play threads and waits until none touches the Track
        Track(const Track&) = delete;
        Track& operator=(const Track&) = delete;

        // Main thread. Starts decoding `file` on a loader thread; ignored while a load runs.
        void load(std::shared_ptr<File> file);
        // Body of the loader thread.
        static void load_process(Track* track);

        // One output sample of `frame`, left or right: 5.1 mixed down, then normalised.
        double get_sample(int64_t frame, bool right) const;
        // The normalisation factor get_sample applies: 1.0 near full scale and for silence.
        double get_factor() const;
        // Requests a fade of `gain` to `volume` (0..1) over `seconds` (0.01..10).
        void set_volume(double volume, double seconds);

        // Starts a play thread at `position`; ignored while one is starting.
        void play();
        // Main thread. Ends the run at `position`, also one still opening its stream.
        void pause();

        // The footer's description of the track ("Loading" while a load runs). Main thread.
        std::string get_info() const;

        Kestrane::Window* window;                      // owner of error boxes; may be null
        std::shared_ptr<File> file;                    // library node being loaded or played
        uint32_t file_size = 0;                        // bytes of the track's file (low 32 bits)
        uint32_t channels = 0;                         // from STREAMINFO
        uint32_t sample_rate = 0;                      // Hz, from STREAMINFO
        uint32_t bits_per_sample = 0;                  // from STREAMINFO
        std::atomic<int64_t> frame_count{0};           // frames decoded (samples per channel)
        std::atomic<int64_t> position{0};              // next frame to render, 0..frame_count
        std::atomic<double> gain{0.0};                 // gain of the frame being rendered, 0..1
        std::atomic<double> volume{0.03};              // the user's volume, 0..1
        std::atomic<double> fade_from{0.0};            // gain when the current fade was requested
        std::atomic<double> fade_to{0.0};              // target gain of the current fade, 0..1
        std::atomic<double> fade_seconds{0.0};         // length of the current fade, 0.01..10 s
        double peak = 0.0;                             // largest down-mixed sample of the track, either sign
        std::atomic<bool> loading{false};              // a load is under way
        std::atomic<bool> starting{false};             // a play thread was launched, stream not yet started
        std::atomic<bool> playing{false};              // the stream plays; clear it to pause or stop
        std::atomic<bool> pause_asked{false};          // pause() since the last play(): a run still opening gives way
        std::atomic<bool> quit{false};                 // the Track is being destroyed
        std::atomic<int32_t> seek{0};                  // pending seek in frames, applied by the play thread
        double** samples = nullptr;                    // channels arrays of frame_count doubles, 1.0 = full scale
        uint32_t decoder_limit = 0;                    // most decoder threads of one load; 0: one per core, at most 8
        int64_t frames_per_decoder = int64_t{1} << 20; // least frames a decoder thread takes (24 s at 44.1 kHz)
        uint32_t decoders = 0;                         // decoder threads of the last load; 1 when read front to back
        std::mutex mutex;                              // held by a loader or a play thread for its whole run
        // The sound card borrowed from the desktop: taken by a run, kept between tracks,
        // given back on a pause and at exit. Used by the loader and play threads only.
        Platform::Device_Reservation reservation;

        // Loader and play threads alive (started, not yet finished). The destructor waits
        // for zero: a play thread may still be queued on `mutex` when the Track goes away.
        std::atomic<int32_t> threads{0};
    };

    // The body of one playback run: opens the exclusive stream at the Track's rate, fades
    // in, renders until paused, stopped or at the end, then fades out and closes the stream.
    class Track::Play_Process
    {
    public:
        Play_Process() = default;
        ~Play_Process(); // leaves real time, closes the device, keeps or returns the card, releases `mutex`
        Play_Process(const Play_Process&) = delete;
        Play_Process& operator=(const Play_Process&) = delete;

        void operator()(Track* track);
        void initialize();
        Platform::Audio_Result try_format(bool padded);
        void fade(double volume, double seconds);
        void fill_buffer();
        void stop();
        Platform::Audio_Result open_device();

        Track* track = nullptr;
        // Taken by operator() and declared before `device`, so that the device closes before
        // the mutex is released: a run waiting on it opens the card at once, and a card has
        // one handle.
        std::unique_lock<std::mutex> lock;
        // Between `lock` and `device`: once the card is closed, and before another run or a
        // load can start, its reservation is kept for the next track or given back.
        struct Hand_Back
        {
            Track* track = nullptr; // set once the run holds the mutex
            ~Hand_Back();
        } hand_back;
        Platform::Audio_Device device;
        uint32_t block_align = 0;   // bytes per frame: 6 (3-byte samples) or 8 (4-byte)
        uint32_t buffer_frames = 0; // frames per device buffer
        bool realtime = false;      // the thread entered the real-time class
        bool padded = false;        // 24 valid bits in 4-byte containers
        bool reserved = false;      // the card was reserved for this run
    };
}
