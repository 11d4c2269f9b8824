// The player's long-lived objects, built in a fixed order when Corvane starts and torn down
// in reverse when it ends, the frame loop that drives them, the command steps that turn keys
// into actions, and the player screen.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/font.h"
#include "engine/line.h"
#include "engine/rectangle.h"
#include "engine/text.h"
#include "engine/window.h"
#include "library/directory.h"
#include "playback/track.h"

namespace Corvane
{
    constexpr int footer_height = 20; // pixels; the footer strip along the bottom edge

    // Keeps the frame loop to the display's pace: a frame is due one refresh period after
    // the one before, and the thread sleeps until then instead of drawing frames no screen
    // shows. Input is still read once per frame, as before.
    class Frame_Pacer
    {
    public:
        // Sleeps until the next frame is due, `period` seconds after the last one was due.
        // A frame that ran late is not made up with a burst: the next one is due from now.
        void wait(double period);

        double due = 0.0; // Platform::now_seconds() at which the last frame was due
    };

    class Application
    {
    public:
        Application();  // builds every object in start-up order; the scan starts here
        ~Application(); // hides the window at once; the members then go in reverse order
        Application(const Application&) = delete;
        Application& operator=(const Application&) = delete;

        // Runs frames until Escape or a close request, one per display refresh.
        void run();

        // Sleeps until the next frame is due at the refresh rate of the window's monitor.
        void pace();

        // Everything of one frame after the window's update: commands, then the screen.
        void frame();
        void commands();
        void active_commands();
        void draw_screen();

        // Starts `file` unless a track is loading (a request made while loading is dropped).
        void play_file(std::shared_ptr<File> file);

        bool scanning() const { return library.loading.load(std::memory_order_acquire); }
        bool active() const { return track.playing || track.starting; }

        // What the footer says in the current state.
        std::string footer_string(bool scan_running) const;

        // Footer strip, progress fill and footer text.
        void draw_footer(bool scan_running);
        // The next half window width of frames, mirrored around the middle; flat otherwise.
        void draw_waveform();
        // The waveform's points in window pixels: one per column, or the two ends of the flat line.
        std::vector<Kestrane::Float2> waveform_points() const;

        Kestrane::Window window;
        Kestrane::Rectangle footer_background;
        Kestrane::Rectangle progress_fill;
        Kestrane::Font player_font;
        Directory library;
        Track track;
        Kestrane::Text footer_text;
        Kestrane::Line waveform_line;
        bool shuffle = false;       // next track from the shuffle order instead of tree order
        bool show_waveform = false; // waveform view instead of the library browser
        Frame_Pacer pacer;
    };

    // Speed of continuous volume change while Q or E is held, volume units per second;
    // one per process, 0 while neither key is held.
    float& volume_hold_rate();

    // Frames to seek in a frame of `dt` seconds: a third of the track per second.
    int64_t seek_step(int64_t frame_count, float dt);

    // Adds `frames` to the pending seek, clamped to 32 bits, in one atomic step: the play
    // thread takes the pending seek (exchanging it with 0) at any moment, and a separate read
    // and write would hand it the same frames again. `Seek` is std::atomic<int32_t>.
    template <class Seek>
    void add_seek(Seek& seek, int64_t frames)
    {
        int32_t pending = seek.load();
        while (!seek.compare_exchange_weak(
            pending, int32_t(std::clamp<int64_t>(int64_t(pending) + frames, INT32_MIN, INT32_MAX))))
        {
        }
    }

    // Left edge and width of the progress fill in a strip `width` pixels wide, for
    // `position` + `seek` clamped to the track; width 0 for an empty track.
    Kestrane::Float2 progress_span(int64_t position, int64_t seek, int64_t frame_count, int32_t width);

    // Runs `body`; any exception that escapes it is shown in an ownerless "Corvane Error"
    // box after the stack has unwound. Returns the process exit code: 0, or 1 after an error.
    int run_with_error_box(const std::function<void()>& body);
}
