// Frames per second of the whole player (Corvane::Application: commands, footer, and the
// browser or the waveform) under the display, in a folder of 2,000 tracks with one of them
// playing through the paced test card, against the empty frame loop (the same window's
// update alone) of the same run:
//   - browser: the folder's 2,000 entries listed in every frame, those that can be seen
//     labelled (once per name) and drawn; the target is 0.5 of the empty loop or more;
//   - one screenful: the same browser in a folder of 19 tracks, all seen at once, which
//     the 2,000-entry folder should cost no more than;
//   - waveform: the playing track's next half window of frames drawn as a line.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/application.h"
#include "flac_fixture.h"
#include "platform/display.h"
#include "sound_card/sound_card.h"

namespace
{
    constexpr double measure_seconds = 1.5;
    constexpr int folder_entries = 2000;
    const char* const played_name = "0000 Tone.flac";
    const char* const short_folder = "A Short Folder";
    constexpr int short_entries = 19;

    // A folder of `folder_entries` tracks: one real tone long enough to outlast the run,
    // the others empty files (the browser only lists names).
    void write_library(const std::filesystem::path& music)
    {
        std::filesystem::create_directories(music);
        Flac_Fixture::Options tone;
        tone.seconds = 60.0;
        Flac_Fixture::write_tone((music / played_name).string(), tone);
        for (int i = 1; i < folder_entries; ++i)
        {
            const std::string number = std::to_string(10000 + i).substr(1);
            std::ofstream(music / (number + " Some Artist - A Fairly Long Track Title.flac"));
        }
        std::filesystem::create_directories(music / short_folder);
        for (int i = 1; i <= short_entries; ++i)
        {
            const std::string number = std::to_string(10000 + i).substr(1);
            std::ofstream(music / short_folder / (number + " Some Artist - A Fairly Long Track Title.flac"));
        }
    }

    // Frames per second of `frame` over measure_seconds.
    double frames_per_second(Corvane::Application& app, const std::function<void()>& frame)
    {
        long frames = 0;
        const double start = Platform::now_seconds();
        while (Platform::now_seconds() - start < measure_seconds && app.window.update())
        {
            frame();
            ++frames;
        }
        return frames / (Platform::now_seconds() - start);
    }

    // Runs whole frames until `done` holds (or 20 s pass).
    bool run_until(Corvane::Application& app, const std::function<bool()>& done)
    {
        const double start = Platform::now_seconds();
        while (!done() && Platform::now_seconds() - start < 20.0 && app.window.update())
            app.frame();
        return done();
    }

    std::shared_ptr<Corvane::File> played_track(Corvane::Directory& library)
    {
        for (const auto& track : library.all_tracks())
            if (track->name == played_name)
                return track;
        return nullptr;
    }

    int measure(Corvane::Application& app)
    {
        if (!run_until(app, [&] { return !app.scanning(); }))
            return std::fprintf(stderr, "the scan did not finish\n"), 1;
        app.play_file(played_track(app.library));
        if (!run_until(app, [&] { return app.active() && !app.track.loading; }))
            return std::fprintf(stderr, "the track did not start\n"), 1;

        // Alternated and best of three, so that warm-up and a busy machine weigh on all alike.
        const std::shared_ptr<Corvane::File> root = Corvane::lineage(app.library.selection).front();
        const std::shared_ptr<Corvane::File> screenful = root->children.front();
        double empty = 0.0, browser = 0.0, short_browser = 0.0, waveform = 0.0;
        for (int round = 0; round < 3; ++round)
        {
            empty = std::max(empty, frames_per_second(app, [] {}));
            app.show_waveform = false;
            app.library.selection = root;
            browser = std::max(browser, frames_per_second(app, [&] { app.frame(); }));
            app.library.selection = screenful;
            short_browser = std::max(short_browser, frames_per_second(app, [&] { app.frame(); }));
            app.show_waveform = true;
            waveform = std::max(waveform, frames_per_second(app, [&] { app.frame(); }));
        }
        if (!app.active())
            return std::fprintf(stderr, "the track stopped during the run\n"), 1;

        std::printf("empty frame loop (update only):      %8.0f frames/s\n", empty);
        std::printf("browser, %d entries:               %8.0f frames/s  (ratio to empty %.3f)\n", folder_entries,
                    browser, browser / empty);
        std::printf("browser, one screenful (%d entries):  %8.0f frames/s  (ratio to empty %.3f)\n", short_entries + 1,
                    short_browser, short_browser / empty);
        std::printf("waveform of a playing track:         %8.0f frames/s  (ratio to empty %.3f)\n", waveform,
                    waveform / empty);
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
