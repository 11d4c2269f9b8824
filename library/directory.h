// The music library: the tree of folders and FLAC tracks under the working directory, built
// once by a background scan, the browser's scroll state, and the orders in which tracks
// follow one another (tree order with wrap-around, and shuffle).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "engine/math.h"
#include "library/file.h"

namespace Kestrane
{
    class Font;
    class Window;
}

namespace Corvane
{
    class Directory
    {
    public:
        // Main thread. Creates the root folder and starts the scan of the working directory
        // on its own thread; returns without waiting for it. `window` owns the error box of a
        // failed scan; it may be null and must outlive the Directory.
        explicit Directory(Kestrane::Window* window);
        // Main thread. A scan still running is told to stop and waited for (it gives up at
        // its next folder entry), so nothing touches the Directory afterwards; the tree's
        // links are then cut so that it is freed.
        ~Directory();
        Directory(const Directory&) = delete; // the scan thread holds `this`
        Directory& operator=(const Directory&) = delete;

        // Body of the scan thread: builds the tree under the root, then clears `loading`
        // (release). With no track anywhere it shows the fatal error box and ends the process.
        static void scan(Directory* directory);

        // Which way step() walks the tree order.
        enum class Direction
        {
            backward,
            forward,
        };

        // Where step() looks: past `from`, or inside it.
        enum class Reach
        {
            past,   // the neighbouring track, wrapping at the ends of the tree
            inside, // the first (forward) or last track inside `from`; `from` itself if a track
        };

        // Main thread, once `loading` is false. The track after (forward) or before `from` in
        // tree order, or inside it; null where there is none.
        std::shared_ptr<File> step(const std::shared_ptr<File>& from, Direction direction, Reach reach);

        // Main thread. Every track once, in tree order from the first.
        std::vector<std::shared_ptr<File>> all_tracks();

        // Main thread. all_tracks() in a random order, drawn from one engine that is seeded
        // once per process.
        std::vector<std::shared_ptr<File>> shuffled_tracks();

        // Main thread. Unless `player` is loading, makes the next track of the shuffle order
        // the selection, loads it on the player and advances the order, drawing a new one
        // after its last track. Returns false, changing nothing, while the player loads.
        // The order is kept for the whole process. `Player` is Corvane::Track in the program;
        // it needs a `loading` flag and load(std::shared_ptr<File>).
        template <class Player>
        bool shuffle_next(Player& player);

        // The shuffle order's track at its position, drawing the first order when there is
        // none; null while the library holds no track.
        std::shared_ptr<File> shuffle_current();
        // Moves the shuffle order past its current track.
        void shuffle_advance();

        // The browser: lists the shown folder under its path, scrolls, draws every entry as
        // a centred line and turns clicks into a new selection. Main thread, after the scan.
        void draw(Kestrane::Font& font, Kestrane::Int2 position, Kestrane::Int2 size, Kestrane::Color highlight_colour,
                  Kestrane::Color folder_colour, Kestrane::Color track_colour, std::shared_ptr<File> playing_file);
        // Advances the inertial scroll of a list `content_height` tall in an area `area_height` tall.
        void scroll(int32_t content_height, int32_t area_height, int32_t line_height);
        // Right click: shows the parent of the shown folder; nothing at the root.
        void go_up();
        static bool inside(Kestrane::Int2 point, Kestrane::Int2 position, Kestrane::Int2 size);

        float scroll_impulse = 250.0f;      // browser: velocity added per wheel notch, pixels/s
        float scroll_speed_limit = 3000.0f; // browser: largest scroll speed, pixels/s
        float scroll_friction = 1000.0f;    // browser: speed lost per second, pixels/s
        Kestrane::Window* window = nullptr; // not owned; owner of the scan's error box
        std::shared_ptr<File> selection;    // the folder shown or the track last picked; the root at first
        float scroll_offset = 0.0f;         // browser list position, pixels
        float scroll_velocity = 0.0f;       // browser list speed, pixels/s
        std::atomic<bool> loading{true};    // the scan runs; the tree may be read once it is false (acquire)
        bool selection_changed = false;     // the browser picked an entry this frame

        std::atomic<bool> stop_scan{false}; // set by the destructor; the scan gives up
        std::thread scan_thread;            // joined by the destructor
    };

    // Scan thread. Lists `folder` and everything beneath it and stores each folder's entries
    // (sub-folders, then tracks, each group in logical order) once that folder is complete.
    // Folders without a track beneath them are left out, and so are folders that cannot be
    // opened or that lead back to a folder on the current path. Gives up when `stop` is set.
    // Lists with a few threads of its own, all ended before it returns. Throws
    // std::bad_alloc, whichever thread ran out of memory.
    void scan_folder(std::shared_ptr<File> folder, const std::atomic<bool>& stop);

    // Any thread. Sort predicate of a folder's entries: names in logical order (numbers by
    // value, letters without case).
    bool logical_less(const std::shared_ptr<File>& a, const std::shared_ptr<File>& b);

    // Main thread. The one random engine of the shuffle order, seeded once per process from
    // the system's entropy when first used; the program never seeds it again.
    std::mt19937& shuffle_engine();

    // Uniform in [0, m), m >= 1: takes 32-bit outputs of `engine` until one is not in the
    // short top range that would favour low results.
    template <class Engine>
    uint32_t draw_index(Engine& engine, uint32_t m)
    {
        constexpr uint32_t largest = 0xFFFFFFFFu;
        for (;;)
        {
            const uint32_t r = static_cast<uint32_t>(engine());
            if (r / m < largest / m || largest % m == m - 1)
                return r % m;
        }
    }

    template <class Player>
    bool Directory::shuffle_next(Player& player)
    {
        std::shared_ptr<File> next = shuffle_current();
        if (!next || player.loading)
            return false;
        selection = next;
        player.load(next);
        shuffle_advance();
        return true;
    }
}
