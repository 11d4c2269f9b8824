// The whole player (Corvane::Application: commands, footer, and the browser or the waveform)
// under the display, in a library of 30 artists with 3 albums of 12 tracks each and a folder
// of 2,000 tracks, one of which plays through the paced test card:
//   - the share of one core the player takes in its own paced loop (Application::run's
//     frame and pace), idle in the browser (at the library's top, in an album, and in the
//     2,000-track folder as the worst case) and with the waveform of a playing track, against
//     the same frames unpaced in the same run (targets: idle browser <= 10 %, waveform <= 25 %);
//   - the user's wait from the click on a 5-minute 96 kHz 24-bit music-like track (chords, a
//     sweep and pink noise per channel, the `flac` tool's default settings) to the start of its
//     stream, with the paced frame loop running beside the loader, against libFLAC decoding
//     the same file alone on one thread (target <= 1.0): the first load after start-up and
//     the best of later ones apart, each with the kernel time and page faults it took (fresh
//     memory is zeroed by the kernel on first touch); the track's row is on screen before
//     the click, as it is for a user; beside them, what filling as many bytes as the track's
//     arrays costs on its own, on as many threads, in memory fresh from the system and in the
//     same memory again right after it was given back, which tells how much of the first
//     load is the machine's price for fresh memory;
//   - frames per second unpaced, against the empty frame loop (the same window's update
//     alone) of the same run: browser (the 2,000 entries listed in every frame, those that
//     can be seen labelled (once per name) and drawn; the target is 0.5 of the empty loop or
//     more, for the whole player and for the list alone without the footer), one screenful
//     (an album, all seen at once, which the 2,000-entry folder should cost no more than) and
//     waveform (the playing track's next half window of frames drawn as a line).
// CPU time is the whole process's: the GL driver's threads and the play thread count.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <FLAC/stream_decoder.h>

#include "app/application.h"
#include "app/palette.h"
#include "flac_fixture.h"
#include "platform/display.h"
#include "platform/memory.h"
#include "sound_card/sound_card.h"

namespace
{
    constexpr double measure_seconds = 1.5;
    constexpr int rounds = 9;
    constexpr double round_seconds = 0.4;

    double median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }
    constexpr int folder_entries = 2000;
    const char* const played_name = "0000 Tone.flac";
    const char* const big_folder = "Various Artists";
    const char* const hires_name = "Hi-Res Album/01 Five Minutes.flac";

    // Artists with albums, and a folder of `folder_entries` tracks: one real tone long
    // enough to outlast the run, the others empty files (the browser only lists names).
    void write_library(const std::filesystem::path& music)
    {
        std::filesystem::create_directories(music / big_folder);
        Flac_Fixture::Options tone;
        tone.seconds = 60.0;
        Flac_Fixture::write_tone((music / big_folder / played_name).string(), tone);
        Flac_Fixture::Options hires;
        hires.sample_rate = 96000;
        hires.bits = 24;
        hires.seconds = 300;
        hires.amplitude = 0.9;
        std::filesystem::create_directories((music / hires_name).parent_path());
        Flac_Fixture::write_music((music / hires_name).string(), Flac_Fixture::flac_defaults(hires));
        for (int i = 1; i < folder_entries; ++i)
        {
            const std::string number = std::to_string(10000 + i).substr(1);
            std::ofstream(music / big_folder / (number + " Some Artist - A Fairly Long Track Title.flac"));
        }
        for (int artist = 1; artist <= 30; ++artist)
            for (int album = 1; album <= 3; ++album)
            {
                const auto folder = music / ("Artist " + std::to_string(artist)) / ("Album " + std::to_string(album));
                std::filesystem::create_directories(folder);
                for (int track = 1; track <= 12; ++track)
                    std::ofstream(folder / (std::to_string(track) + " A Track Title.flac"));
            }
    }

    // Frames per second of `frame` over `seconds`.
    double frames_per_second(Corvane::Application& app, const std::function<void()>& frame,
                             double seconds = measure_seconds)
    {
        long frames = 0;
        const double start = Platform::now_seconds();
        while (Platform::now_seconds() - start < seconds && app.window.update())
        {
            frame();
            ++frames;
        }
        return frames / (Platform::now_seconds() - start);
    }

    // The median of a target's rounds and their spread.
    void print_rounds(const std::vector<double>& ratios)
    {
        std::printf("ratio to empty %.3f (rounds %.3f to %.3f; target >= 0.5)\n", median(ratios),
                    *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()));
    }

    double cpu_seconds()
    {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
    }

    struct Load
    {
        double core_share = 0.0; // process CPU seconds per wall second
        double fps = 0.0;
    };

    // CPU share and frame rate over `seconds` of whole frames, paced as the player runs
    // them or back to back.
    Load core_share(Corvane::Application& app, bool paced, double seconds)
    {
        long frames = 0;
        const double start = Platform::now_seconds();
        const double cpu = cpu_seconds();
        while (Platform::now_seconds() - start < seconds && app.window.update())
        {
            app.frame();
            if (paced)
                app.pace();
            ++frames;
        }
        const double wall = Platform::now_seconds() - start;
        return {(cpu_seconds() - cpu) / wall, frames / wall};
    }

    void print_share(const char* what, const Load& paced, const Load& unpaced, double target)
    {
        std::printf("%-28s paced: %5.1f %% of a core at %4.0f frames/s | unpaced: %6.1f %% at %5.0f frames/s | "
                    "ratio %.3f | target <= %.0f %%: %s\n",
                    what, paced.core_share * 100, paced.fps, unpaced.core_share * 100, unpaced.fps,
                    paced.core_share / unpaced.core_share, target,
                    paced.core_share * 100 <= target ? "met" : "NOT met");
    }

    // Runs whole frames until `done` holds (or 20 s pass).
    bool run_until(Corvane::Application& app, const std::function<bool()>& done)
    {
        const double start = Platform::now_seconds();
        while (!done() && Platform::now_seconds() - start < 20.0 && app.window.update())
            app.frame();
        return done();
    }

    std::shared_ptr<Corvane::File> track_named(Corvane::Directory& library, const std::string& name)
    {
        for (const auto& track : library.all_tracks())
            if (track->name == name)
                return track;
        return nullptr;
    }

    std::shared_ptr<Corvane::File> played_track(Corvane::Directory& library)
    {
        return track_named(library, played_name);
    }

    FLAC__StreamDecoderWriteStatus drop_frame(const FLAC__StreamDecoder*, const FLAC__Frame*,
                                              const FLAC__int32* const[], void*)
    {
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    void ignore_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

    // libFLAC decoding the file on this thread, the samples dropped: seconds.
    double decode_alone(const std::string& path)
    {
        const double start = Platform::now_seconds();
        FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
        FLAC__stream_decoder_init_file(decoder, path.c_str(), drop_frame, nullptr, ignore_error, nullptr);
        FLAC__stream_decoder_process_until_end_of_stream(decoder);
        FLAC__stream_decoder_delete(decoder);
        return Platform::now_seconds() - start;
    }

    // Seconds from picking `file` to the start of its stream, the player's frames running
    // as they do (paced), then pauses it and waits until its stream is closed. -1 when it
    // did not start.
    struct Wait
    {
        double sound = -1.0;  // seconds to the start of the stream; -1 when it did not start
        double loaded = -1.0; // seconds until the track was decoded, as the frames saw it
        double kernel = 0.0;  // CPU seconds the whole process spent in the kernel meanwhile
        long faults = 0;      // page faults of the whole process meanwhile
    };

    rusage usage()
    {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return u;
    }

    double seconds_of(const timeval& t)
    {
        return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6;
    }

    Wait click_to_sound(Corvane::Application& app, const std::shared_ptr<Corvane::File>& file)
    {
        Wait wait;
        const rusage before = usage();
        const double start = Platform::now_seconds();
        app.play_file(file);
        while (!app.track.playing.load() && Platform::now_seconds() - start < 60.0 && app.window.update())
        {
            app.frame();
            app.pace();
            if (wait.loaded < 0.0 && !app.track.loading.load())
                wait.loaded = Platform::now_seconds() - start;
        }
        if (app.track.playing.load())
            wait.sound = Platform::now_seconds() - start;
        const rusage after = usage();
        wait.kernel = seconds_of(after.ru_stime) - seconds_of(before.ru_stime);
        wait.faults = (after.ru_minflt + after.ru_majflt) - (before.ru_minflt + before.ru_majflt);
        // Both flags clear the moment the pause is asked for, while the run still fades out
        // and closes its stream holding the Track's lock; a click in that time would wait for
        // it, which a user pausing first never does. So wait until the run has ended.
        app.track.playing = false;
        run_until(app, [&] { return !app.active() && app.track.threads.load() == 0; });
        return wait;
    }

    // Seconds to back and write `doubles` values in fresh arrays split over `threads` threads,
    // each writing one value per page, as the loader's first touch does.
    double fill_seconds(std::size_t doubles, uint32_t threads)
    {
        const double start = Platform::now_seconds();
        double* array = Platform::reserve_doubles(doubles);
        std::vector<std::thread> fillers;
        for (uint32_t t = 0; t < threads; ++t)
            fillers.emplace_back(
                [=]
                {
                    const std::size_t from = doubles * t / threads, to = doubles * (t + 1) / threads;
                    Platform::commit_doubles(array, from, to);
                    for (std::size_t i = from; i < to; i += 512)
                        array[i] = 1.0;
                });
        for (std::thread& filler : fillers)
            filler.join();
        Platform::free_doubles(array);
        return Platform::now_seconds() - start;
    }

    void print_fresh_memory(const Corvane::Application& app, double alone)
    {
        const std::size_t doubles = static_cast<std::size_t>(app.track.frame_count.load()) * app.track.channels;
        const double fresh = fill_seconds(doubles, app.track.decoders);
        const double recycled = fill_seconds(doubles, app.track.decoders);
        std::printf("  filling %zu MB alone on %u threads: fresh memory %.3f s (ratio %.3f), the same memory "
                    "again at once %.3f s (ratio %.3f)\n",
                    doubles * sizeof(double) >> 20, app.track.decoders, fresh, fresh / alone, recycled,
                    recycled / alone);
    }

    void print_click_to_sound(Corvane::Application& app)
    {
        const auto hires = track_named(app.library, std::filesystem::path(hires_name).filename().string());
        // A user clicks a row already on screen: its folder has been drawn for a while.
        app.library.selection = hires;
        const double shown = Platform::now_seconds();
        run_until(app, [&] { return Platform::now_seconds() - shown > 0.5; });
        const Wait first = click_to_sound(app, hires);
        Wait warm = click_to_sound(app, hires);
        const Wait again = click_to_sound(app, hires);
        if (again.sound < warm.sound)
            warm = again;
        const double alone = std::min(decode_alone(hires_name), decode_alone(hires_name));
        std::printf("click to sound, 5 min 96 kHz 24-bit music-like track (%u decoder threads):\n", app.track.decoders);
        std::printf("  libFLAC decode alone, one thread: %6.3f s\n", alone);
        const auto print = [&](const char* what, const Wait& w)
        {
            std::printf("  %-32s %6.3f s  ratio %.3f (target <= 1.0); decoded after %.3f s; kernel %.3f s, "
                        "%ld page faults\n",
                        what, w.sound, w.sound / alone, w.loaded, w.kernel, w.faults);
        };
        print("first load after start-up:", first);
        print("warm (best of 2):", warm);
        print_fresh_memory(app, alone);
    }

    int measure(Corvane::Application& app)
    {
        if (!run_until(app, [&] { return !app.scanning(); }))
            return std::fprintf(stderr, "the scan did not finish\n"), 1;
        std::printf("refresh rate of the window's monitor: %d Hz\n", Platform::refresh_rate(*app.window.handle));
        const auto root = app.library.selection;
        print_click_to_sound(app);
        const auto played = played_track(app.library);
        const auto album = root->children.front()->children.front();
        const auto idle = [&](const std::shared_ptr<Corvane::File>& shown, const char* what)
        {
            app.library.selection = shown;
            const Load paced = core_share(app, true, 3.0);
            const Load unpaced = core_share(app, false, 1.5);
            print_share(what, paced, unpaced, 10);
        };
        idle(root, "idle browser, top (31)");
        idle(album, "idle browser, album (12)");
        idle(played->parent, "idle browser, 2,000 tracks");
        app.library.selection = root;
        app.play_file(played);
        if (!run_until(app, [&] { return app.active() && !app.track.loading; }))
            return std::fprintf(stderr, "the track did not start\n"), 1;
        app.show_waveform = true;
        const Load waveform_paced = core_share(app, true, 3.0);
        const Load waveform_unpaced = core_share(app, false, 1.5);
        print_share("waveform of a playing track", waveform_paced, waveform_unpaced, 25);
        app.library.selection = played;

        // Short stretches back to back, each round giving its own ratios to the empty loop:
        // the load of this kind of machine drifts over seconds, and one round sees one load.
        // The medians of the rounds are the figures.
        std::vector<double> empty, browser, browser_alone, short_browser, waveform;
        const auto list_only = [&]
        {
            const Kestrane::Int2 size = app.window.size;
            app.library.draw(app.player_font, {0, 0}, {size.x, size.y - Corvane::footer_height}, Corvane::white,
                             Corvane::light_grey, Corvane::grey, app.track.file);
        };
        for (int round = 0; round < rounds; ++round)
        {
            empty.push_back(frames_per_second(
                app, [] {}, round_seconds));
            app.show_waveform = false;
            app.library.selection = played;
            browser.push_back(frames_per_second(
                                  app, [&] { app.frame(); }, round_seconds) /
                              empty.back());
            browser_alone.push_back(frames_per_second(app, list_only, round_seconds) / empty.back());
            app.library.selection = album;
            short_browser.push_back(frames_per_second(
                                        app, [&] { app.frame(); }, round_seconds) /
                                    empty.back());
            app.show_waveform = true;
            waveform.push_back(frames_per_second(
                                   app, [&] { app.frame(); }, round_seconds) /
                               empty.back());
        }
        if (!app.active())
            return std::fprintf(stderr, "the track stopped during the run\n"), 1;

        const double empty_rate = median(empty);
        std::printf("frames/s unpaced, medians of %d rounds of %.1f s each:\n", rounds, round_seconds);
        std::printf("empty frame loop (update only):      %8.0f frames/s\n", empty_rate);
        std::printf("browser, %d entries:               ", folder_entries);
        print_rounds(browser);
        std::printf("  the list alone, without the footer: ");
        print_rounds(browser_alone);
        std::printf("browser, one screenful (album, %zu entries): ratio to empty %.3f\n", album->children.size() + 2,
                    median(short_browser));
        std::printf("waveform of a playing track:         ratio to empty %.3f\n", median(waveform));
        return 0;
    }
}

int main()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-app-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return std::perror("mkdtemp"), 1;
    const std::filesystem::path folder = pattern;
    const std::filesystem::path music = folder / "music";
    write_library(music);

    Corvane::Test_Sound_Card card;
    card.folder = (folder / "card").string();
    card.write();
    setenv("ALSA_CONFIG_PATH", card.config_path().c_str(), 1);

    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(music);
    int result = 0;
    {
        Corvane::Application app;
        result = measure(app);
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
    return result;
}
