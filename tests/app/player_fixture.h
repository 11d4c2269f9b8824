// A whole player in a generated library, on the real window (Xvfb in the test run) and the
// in-memory sound card stepped by the test, so that nothing plays unless the test says so.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <algorithm>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "app/application.h"
#include "engine/exception.h"
#include "doubles/memory_audio_device.h"
#include "flac_fixture.h"
#include "support/poll.h"
#include "support/temp_folder.h"

struct Player_Fixture : testing::Test
{
    std::unique_ptr<Test_Support::Temp_Folder> scratch;
    std::filesystem::path folder; // the scratch folder, the working directory while the player runs
    std::filesystem::path previous_folder = std::filesystem::current_path();
    std::unique_ptr<Corvane::Application> app;

    // Writes `tracks` (relative paths) as short tones, then starts the player in them.
    void start(const std::vector<std::string>& tracks, double seconds = 0.05)
    {
        scratch = std::make_unique<Test_Support::Temp_Folder>("corvane-app");
        folder = scratch->path;
        Flac_Fixture::Options options;
        options.seconds = seconds;
        for (const std::string& track : tracks)
        {
            std::filesystem::create_directories((folder / track).parent_path());
            Flac_Fixture::write_tone((folder / track).string(), options);
        }
        Memory_Audio_Device::Settings settings;
        settings.pace = Memory_Audio_Device::Pace::stepped;
        Memory_Audio_Device::reset(settings);
        Corvane::volume_hold_rate() = 0.0f;
        std::filesystem::current_path(folder);
        try
        {
            app = std::make_unique<Corvane::Application>();
        }
        catch (const Kestrane::Exception& e)
        {
            FAIL() << e.get_message();
        }
        ASSERT_TRUE(frames_until([&] { return !app->scanning(); }));
    }

    void TearDown() override
    {
        if (app)
        {
            Memory_Audio_Device::step(1 << 20); // let a play thread wind down
            app.reset();
        }
        std::filesystem::current_path(previous_folder);
        scratch.reset();
    }

    // Runs whole frames until `done` holds, at most a few seconds.
    template <class Condition>
    bool frames_until(Condition done)
    {
        bool failed = false;
        const bool reached = Test_Support::poll_until(
            [&]
            {
                if (failed || done())
                    return true;
                app->window.update();
                try
                {
                    app->frame();
                }
                catch (const Kestrane::Exception& e)
                {
                    ADD_FAILURE() << e.get_message();
                    failed = true;
                }
                return false;
            },
            std::chrono::seconds(10));
        return reached && !failed;
    }

    std::shared_ptr<Corvane::File> track_named(const std::string& name)
    {
        for (const auto& track : app->library.all_tracks())
            if (track->name == name)
                return track;
        ADD_FAILURE() << "no track " << name;
        return nullptr;
    }

    // Starts `name` and waits until its stream runs (parked on the stepped device).
    void play(const std::string& name)
    {
        app->play_file(track_named(name));
        ASSERT_TRUE(frames_until([&] { return !app->track.loading && bool(app->track.playing); }));
    }

    // One frame of commands only, with the input set by the test.
    void command_frame(float dt = 0.01f)
    {
        app->window.delta_time = dt;
        app->commands();
        app->window.pressed.fill(false);
    }
};
