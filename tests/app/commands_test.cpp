// The command steps: volume taps and holds, seeking, previous/next, pause, shuffle and the
// end-of-track rule, on a player whose sound card the test steps.
#include "app/player_fixture.h"

namespace
{
    using Corvane::File;

    struct Commands : Player_Fixture
    {
        void SetUp() override
        {
            // Long enough that a pause's fade-out does not reach the end.
            start({"A/a1.flac", "A/a2.flac", "B/b1.flac", "r1.flac"}, 1.0);
        }
    };

    TEST_F(Commands, VolumeTapsMoveByOneHundredthWithinTheRange)
    {
        play("a1.flac");
        auto& track = app->track;
        app->window.pressed['Q'] = true;
        command_frame();
        EXPECT_NEAR(track.volume, 0.02, 1e-12);
        EXPECT_NEAR(track.fade_to, 0.02, 1e-12);
        EXPECT_NEAR(track.fade_seconds, 0.01, 1e-12);

        track.volume = 0.0;
        track.set_volume(0.5, 5.0);
        app->window.pressed['Q'] = true;
        command_frame();
        EXPECT_EQ(track.volume, 0.0);
        EXPECT_EQ(track.fade_to, 0.0) << "a tap at 0 still asks for a fade";
        EXPECT_NEAR(track.fade_seconds, 0.01, 1e-12);

        track.volume = 1.0;
        app->window.pressed['E'] = true;
        command_frame();
        EXPECT_EQ(track.volume, 1.0);
    }

    TEST_F(Commands, HoldingBothVolumeKeysCancelsWhileTheRateGrows)
    {
        play("a1.flac");
        auto& track = app->track;
        track.volume = 0.5;
        app->window.held['Q'] = app->window.held['E'] = true;
        for (int frame = 0; frame < 30; ++frame)
            command_frame(0.1f);
        EXPECT_NEAR(Corvane::volume_hold_rate(), 30 * 0.1f / 6.0f, 1e-5);
        EXPECT_NEAR(track.volume, 0.5, 1e-9);

        app->window.held['E'] = false;
        const double before = track.volume;
        command_frame(0.1f);
        EXPECT_NEAR(track.volume, before - Corvane::volume_hold_rate() * 0.1, 0.02) << "Q alone lowers";
        EXPECT_LT(track.volume, before);

        app->window.held['Q'] = false;
        command_frame(0.1f);
        EXPECT_EQ(Corvane::volume_hold_rate(), 0.0f);
    }

    TEST_F(Commands, HoldingAKeyActsOnlyOnceTheRateIsAboveThreeHundredths)
    {
        play("a1.flac");
        app->window.held['E'] = true;
        command_frame(0.1f); // rate 0 -> 0.0167
        command_frame(0.1f); // rate -> 0.0333, no change yet
        EXPECT_NEAR(app->track.volume, 0.03, 1e-12);
        command_frame(0.1f);
        EXPECT_GT(app->track.volume, 0.03);
    }

    TEST_F(Commands, SeekStepIsAThirdOfTheTrackPerSecondAtFullWidth)
    {
        EXPECT_EQ(Corvane::seek_step(3000, 1.0f), 1000);
        // Ten minutes at 44.1 kHz and 100 frames per second: 88,200 frames, not wrapped.
        EXPECT_EQ(Corvane::seek_step(44100 * 600, 0.01f), 88200);

        // The play thread takes the pending seek at any moment, here right after the command
        // has read it: the step must come on top of what is left, not of what was taken.
        struct Racing_Seek
        {
            std::atomic<int32_t> value;
            int32_t taken = 0; // frames the play thread applied
            int32_t load()
            {
                const int32_t seen = value.load();
                if (taken == 0)
                    taken = value.exchange(0);
                return seen;
            }
            bool compare_exchange_weak(int32_t& expected, int32_t desired)
            {
                return value.compare_exchange_weak(expected, desired);
            }
        };
        Racing_Seek raced{1000};
        Corvane::add_seek(raced, 500);
        EXPECT_EQ(raced.taken, 1000);
        EXPECT_EQ(raced.value.load(), 500) << "the frames already taken were added again";
        std::atomic<int32_t> pending{INT32_MAX - 10};
        Corvane::add_seek(pending, 100);
        EXPECT_EQ(pending.load(), INT32_MAX);
        pending = INT32_MIN + 10;
        Corvane::add_seek(pending, -100);
        EXPECT_EQ(pending.load(), INT32_MIN);

        play("a1.flac");
        auto& track = app->track;
        const int64_t step = Corvane::seek_step(track.frame_count, 0.5f);
        ASSERT_GT(step, 0);
        app->window.held['D'] = true;
        command_frame(0.5f);
        EXPECT_EQ(track.seek, step);
        app->window.held['A'] = true;
        command_frame(0.5f);
        EXPECT_EQ(track.seek, step) << "A and D together cancel";
        app->window.held['D'] = false;
        command_frame(0.5f);
        EXPECT_EQ(track.seek, 0);
    }

    TEST_F(Commands, ProgressFillShowsTheClampedTargetAndNothingForAnEmptyTrack)
    {
        EXPECT_EQ(Corvane::progress_span(0, 0, 1000, 333).y, 0.0f);
        EXPECT_EQ(Corvane::progress_span(500, 0, 1000, 300).y, 150.0f);
        EXPECT_EQ(Corvane::progress_span(500, 0, 1000, 300).x, 75.0f);
        EXPECT_EQ(Corvane::progress_span(900, 5000, 1000, 300).y, 300.0f);
        EXPECT_EQ(Corvane::progress_span(100, -5000, 1000, 300).y, 0.0f);
        EXPECT_EQ(Corvane::progress_span(0, 0, 0, 300).y, 0.0f);
    }

    TEST_F(Commands, NothingButPauseWorksBeforeATrackPlays)
    {
        const auto selection = app->library.selection;
        app->window.pressed['Q'] = app->window.pressed['S'] = true;
        app->window.held['D'] = app->window.held['C'] = app->window.held['Z'] = true;
        command_frame();
        EXPECT_NEAR(app->track.volume, 0.03, 1e-12);
        EXPECT_EQ(app->track.seek, 0);
        EXPECT_EQ(app->library.selection, selection);
        EXPECT_FALSE(app->track.loading);
        EXPECT_FALSE(app->track.starting) << "S without a track does nothing";
    }

    TEST_F(Commands, PauseKeepsThePlaceAndNextAndPreviousStepTheTreeWithShuffleOff)
    {
        play("a2.flac");
        app->window.pressed['S'] = true;
        command_frame();
        EXPECT_FALSE(app->track.playing);
        // A buffer at a time, so that no credit is left over for the resumed stream.
        ASSERT_TRUE(frames_until(
            [&]
            {
                if (Memory_Audio_Device::wait_until_parked(std::chrono::milliseconds(0)))
                    Memory_Audio_Device::step(1);
                return Memory_Audio_Device::devices_open() == 0;
            }));
        const int64_t kept = app->track.position;

        app->window.held['C'] = true;
        command_frame();
        EXPECT_FALSE(app->track.loading) << "C does nothing while paused";
        EXPECT_EQ(app->track.position, kept);
        app->window.held['C'] = false;

        app->window.pressed['S'] = true;
        command_frame();
        ASSERT_TRUE(frames_until([&] { return bool(app->track.playing); }));
        app->shuffle = true;
        ASSERT_EQ(app->track.file->name, "a2.flac");
        // C pressed while D still seeks: the seek the old stream never took is not the new
        // track's, which starts at its beginning.
        app->window.held['D'] = true;
        command_frame(0.3f);
        const int32_t untaken = app->track.seek;
        ASSERT_GT(untaken, 0);
        app->window.held['C'] = true;
        command_frame();
        app->window.held['C'] = app->window.held['D'] = false;
        EXPECT_FALSE(app->shuffle);
        EXPECT_EQ(app->library.selection->name, "b1.flac");
        EXPECT_EQ(app->track.file->name, "b1.flac");
        ASSERT_TRUE(frames_until(
            [&]
            {
                if (Memory_Audio_Device::wait_until_parked(std::chrono::milliseconds(0)))
                    Memory_Audio_Device::step(1);
                return !app->track.loading && app->track.playing && app->track.position > 0 &&
                       app->track.seek == 0;
            }));
        EXPECT_LT(app->track.position, untaken / 4);

        // Z goes back across the folder boundary, shuffle off as well.
        ASSERT_TRUE(frames_until(
            [&]
            {
                if (Memory_Audio_Device::wait_until_parked(std::chrono::milliseconds(0)))
                    Memory_Audio_Device::step(1); // lets the old stream fade out
                return !app->track.loading && app->track.playing;
            }));
        app->shuffle = true;
        app->window.held['Z'] = true;
        command_frame();
        app->window.held['Z'] = false;
        EXPECT_FALSE(app->shuffle);
        EXPECT_EQ(app->library.selection->name, "a2.flac");
        EXPECT_EQ(app->track.file->name, "a2.flac");
    }

    TEST_F(Commands, ShuffleShowsInTheFooterAndAPressWhileLoadingTurnsItOffAndStartsNothing)
    {
        EXPECT_EQ(app->footer_string(true), "Loading") << "scanning";
        EXPECT_EQ(app->footer_string(false), "Corvane 18-12-29");
        app->window.pressed['W'] = true;
        command_frame();
        EXPECT_TRUE(app->shuffle);
        ASSERT_TRUE(frames_until([&] { return app->active() && !app->track.loading; }));
        EXPECT_EQ(app->footer_string(false), app->track.get_info() + " Shuffle");

        const auto first = app->track.file;
        app->track.loading = true; // the next track decoding, as far as the screen and commands can tell
        EXPECT_EQ(app->footer_string(false), "Loading");
        app->window.pressed['W'] = true;
        command_frame();
        EXPECT_FALSE(app->shuffle);
        EXPECT_EQ(app->track.file, first);
        app->track.loading = false;
        EXPECT_EQ(app->footer_string(false), app->track.get_info());
    }

    TEST_F(Commands, WaveformShowsTheComingFramesMirroredAroundTheMiddleOrElseAFlatLine)
    {
        const int W = app->window.size.x, A = app->window.size.y - Corvane::footer_height, half = W / 2;
        const std::vector<Kestrane::Float2> flat{{0.0f, float(A / 2)}, {float(W), float(A / 2)}};
        EXPECT_EQ(app->waveform_points(), flat) << "nothing plays";

        play("a1.flac"); // parked: the position moves only when the test says so
        auto& track = app->track;
        track.position = 1000;
        const std::vector<Kestrane::Float2> points = app->waveform_points();
        ASSERT_EQ(points.size(), size_t(W));
        float lowest = float(A), highest = 0.0f;
        for (int i = 0; i < W; ++i)
        {
            EXPECT_EQ(points[size_t(i)].x, float(i));
            lowest = std::min(lowest, points[size_t(i)].y);
            highest = std::max(highest, points[size_t(i)].y);
        }
        // The middle column shows the frame about to play, both sides the frames after it.
        const double now = (track.get_sample(1000, false) + track.get_sample(1000, true)) / 2.0;
        EXPECT_FLOAT_EQ(points[size_t(half)].y, float(now * A / 2.0 + A / 2));
        for (int d = 1; half + d < W; ++d)
            ASSERT_EQ(points[size_t(half - d)].y, points[size_t(half + d)].y) << d;
        // The tone, normalised to full scale, spans the area: -1 at its top, +1 at its bottom.
        EXPECT_NEAR(lowest, 0.0f, 1.0f);
        EXPECT_NEAR(highest, float(A), 1.0f);

        track.position = track.frame_count - half - 1;
        EXPECT_EQ(app->waveform_points().size(), size_t(W)) << "the last frame is shown at both ends";
        track.position = track.frame_count - half;
        EXPECT_EQ(app->waveform_points(), flat) << "less than half a window width left";
        track.position = 1000;
        track.loading = true;
        EXPECT_EQ(app->waveform_points(), flat) << "loading";
        track.loading = false;
        track.playing = false;
        EXPECT_EQ(app->waveform_points(), flat) << "paused";
    }

    TEST_F(Commands, TheLastTrackIsFollowedByTheFirst)
    {
        play("r1.flac");
        Memory_Audio_Device::step(1 << 20);
        ASSERT_TRUE(frames_until([&] { return app->track.file->name == "a1.flac"; }));
        EXPECT_EQ(app->library.selection->name, "a1.flac");
    }

    TEST_F(Commands, EndOfTrackInShuffleModeKeepsShuffling)
    {
        app->window.pressed['W'] = true;
        command_frame();
        ASSERT_TRUE(app->shuffle);
        std::set<std::string> heard;
        ASSERT_TRUE(frames_until(
            [&]
            {
                Memory_Audio_Device::step(64);
                if (app->track.file)
                    heard.insert(app->track.file->name);
                return heard.size() == 4;
            }));
        EXPECT_TRUE(app->shuffle);
    }

    struct One_Track : Player_Fixture
    {
    };

    TEST_F(One_Track, ALibraryOfOneTrackReplaysIt)
    {
        start({"only.flac"});
        play("only.flac");
        const auto first_run = Memory_Audio_Device::calls().size();
        Memory_Audio_Device::step(1 << 20);
        ASSERT_TRUE(frames_until(
            [&]
            {
                Memory_Audio_Device::step(64);
                const std::vector<std::string> calls = Memory_Audio_Device::calls();
                return calls.size() > first_run + 10 && std::count(calls.begin(), calls.end(), "open") >= 2;
            }));
        EXPECT_EQ(app->track.file->name, "only.flac");
    }
}
