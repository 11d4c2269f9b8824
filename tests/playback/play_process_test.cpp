// The play thread against the in-memory sound card: the bytes it hands over, the order of
// its calls, its fades for start, pause, seek and stop, and how runs follow one another.
#include "playback_test.h"

#include <mutex>
#include <random>

namespace
{
    using namespace Playback_Test;
    using Memory_Audio_Device::Pace;
    using Play = Playback;

    constexpr int buffer = 132; // frames per buffer: 3 ms at 44100 Hz, the device's default period

    std::shared_ptr<Corvane::File> constant(Music_Folder& folder, const std::string& name, int32_t value,
                                            double seconds, uint32_t rate = 44100)
    {
        const auto frames = static_cast<size_t>(seconds * rate);
        return folder.samples(name, std::vector<int32_t>(frames * 2, value), 2, 16, rate);
    }

    void configure(Memory_Audio_Device::Settings settings)
    {
        Memory_Audio_Device::reset(settings);
    }

    // What a 16-bit sample must become on the wire at gain 1.
    int32_t wire(int32_t sample)
    {
        const double x = sample / 32767.0 * 8388607.0 + 0.5;
        return x >= 8388607.0 ? 8388607 : x <= -8388608.0 ? -8388608 : static_cast<int32_t>(x);
    }

    std::vector<std::string> tail(const std::vector<std::string>& calls, size_t count)
    {
        return {calls.end() - static_cast<std::ptrdiff_t>(std::min(count, calls.size())), calls.end()};
    }

    TEST_F(Play, ThreeByteFramesCarryTheExactSamplesAndTheLastBufferEndsInSilence)
    {
        std::vector<int32_t> samples;
        const std::vector<int32_t> values{32767, -32767, -32768, 0, 1, -1, 12345, -23456, 16384, -5};
        for (int i = 0; i < 600; ++i)
            samples.push_back(values[i % values.size()]);
        Corvane::Track track(nullptr);
        track.volume = 1.0;
        // A track played to its end leaves the gain at the volume: the next one starts
        // there, without a fade-in, so its first bytes are exact.
        track.load(constant(folder, "before.flac", 1000, 0.3));
        ASSERT_TRUE(run_ended(track));
        EXPECT_EQ(track.gain.load(), 1.0);
        Memory_Audio_Device::reset();
        Realtime_Double::reset(false);
        track.load(folder.samples("exact.flac", samples));
        ASSERT_TRUE(run_ended(track));

        const auto buffers = Memory_Audio_Device::buffers();
        ASSERT_EQ(buffers.size(), 6u); // primer, 3 with audio, 2 silent
        std::vector<uint8_t> wire_bytes;
        for (size_t b = 1; b <= 3; ++b)
        {
            ASSERT_EQ(buffers[b].bytes.size(), buffer * 6u);
            EXPECT_FALSE(buffers[b].silent);
            wire_bytes.insert(wire_bytes.end(), buffers[b].bytes.begin(), buffers[b].bytes.end());
        }
        // Full scale and its negative, byte by byte.
        EXPECT_EQ(std::vector<uint8_t>(wire_bytes.begin(), wire_bytes.begin() + 12),
                  (std::vector<uint8_t>{0xFF, 0xFF, 0x7F, 0x02, 0x00, 0x80, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00}));
        EXPECT_EQ(sample_at(wire_bytes, 0, 0, false), 0x7FFFFF);
        EXPECT_EQ(sample_at(wire_bytes, 0, 1, false), -8388606);
        EXPECT_EQ(sample_at(wire_bytes, 1, 0, false), -8388608); // -1.00003 is held at the limit, not wrapped
        for (size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(sample_at(wire_bytes, i / 2, static_cast<int>(i % 2), false), wire(samples[i])) << i;
        for (size_t at = samples.size() / 2 * 6; at < wire_bytes.size(); ++at)
            ASSERT_EQ(wire_bytes[at], 0) << at;

        EXPECT_EQ(track.position.load(), 300);
        EXPECT_EQ(track.frame_count.load(), 300);
        EXPECT_FALSE(track.playing.load());
        const std::vector<std::string> start{"open",
                                             "test_format 44100 packed",
                                             "minimum_period 44100",
                                             "initialize 44100 packed 30000",
                                             "get_buffer",
                                             "release_buffer silent",
                                             "start",
                                             "wait",
                                             "get_buffer",
                                             "release_buffer"};
        const auto calls = Memory_Audio_Device::calls();
        EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 10), start);
        EXPECT_EQ(tail(calls, 8), (std::vector<std::string>{"wait", "get_buffer", "release_buffer silent", "wait",
                                                            "get_buffer", "release_buffer silent", "stop", "close"}));
        EXPECT_EQ(Realtime_Double::entered(), 1);
        EXPECT_EQ(Realtime_Double::left(), 1);
    }

    // A 16-bit -32768 reads a little below -1, and a track peaking there is within a tenth
    // of full scale, so it is not lowered: such values are held at the 24-bit limit instead
    // of wrapping round to a loud positive value. Raised tracks reach full scale exactly.
    TEST_F(Play, ValuesBeyondFullScaleAreHeldAtTheLimitAndRaisedTroughsReachIt)
    {
        Corvane::Track track(nullptr);
        track.volume = 1.0;
        track.gain = 1.0;
        track.load(folder.samples("deep.flac", {16384, -32768, -20000, 8192}));
        ASSERT_TRUE(run_ended(track));
        EXPECT_EQ(track.get_factor(), 1.0);
        auto bytes = Memory_Audio_Device::buffers().at(1).bytes;
        EXPECT_EQ(sample_at(bytes, 0, 1, false), -8388608);
        EXPECT_GT(sample_at(bytes, 1, 0, false), -8388608);

        Memory_Audio_Device::reset();
        track.load(folder.samples("troughs.flac", {8192, -16384, -16000, 4096}));
        ASSERT_TRUE(run_ended(track));
        EXPECT_NEAR(track.get_factor(), 2.0, 1e-4); // peak 16384 / 32767
        bytes = Memory_Audio_Device::buffers().at(1).bytes;
        EXPECT_EQ(sample_at(bytes, 0, 1, false), -8388606); // -1.0 exactly, not clipped
        EXPECT_GT(sample_at(bytes, 1, 0, false), -8388606);
    }

    TEST_F(Play, FourByteContainersCarryTheSampleShiftedByEight)
    {
        Memory_Audio_Device::Settings settings;
        settings.refuse_packed = true;
        configure(settings);
        Corvane::Track track(nullptr);
        track.volume = 1.0;
        track.gain = 1.0;
        track.load(folder.samples("padded.flac", {32767, -32767, 12345, -23456}));
        ASSERT_TRUE(run_ended(track));

        const auto calls = Memory_Audio_Device::calls();
        EXPECT_EQ(std::vector<std::string>(calls.begin() + 1, calls.begin() + 5),
                  (std::vector<std::string>{"test_format 44100 packed", "test_format 44100 padded",
                                            "minimum_period 44100", "initialize 44100 padded 30000"}));
        const auto bytes = Memory_Audio_Device::buffers().at(1).bytes;
        ASSERT_EQ(bytes.size(), buffer * 8u);
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
                  (std::vector<uint8_t>{0x00, 0xFF, 0xFF, 0x7F, 0x00, 0x02, 0x00, 0x80}));
        EXPECT_EQ(sample_at(bytes, 1, 0, true), wire(12345));
        EXPECT_EQ(sample_at(bytes, 1, 1, true), wire(-23456));
        EXPECT_EQ(bytes[8], 0); // the padding byte
    }

    TEST_F(Play, MisalignedBufferIsOpenedAgainWithTheAlignedPeriod)
    {
        Memory_Audio_Device::Settings settings;
        settings.alignment = 128;
        configure(settings);
        Corvane::Track track(nullptr);
        track.load(constant(folder, "aligned.flac", 1000, 0.05));
        ASSERT_TRUE(run_ended(track));
        const auto calls = Memory_Audio_Device::calls();
        // 132 frames round up to 256: 10^7 / 44100 x 256 = 58049.9 -> 58050 (100-ns units).
        EXPECT_EQ(std::vector<std::string>(calls.begin() + 3, calls.begin() + 5),
                  (std::vector<std::string>{"initialize 44100 packed 30000", "initialize 44100 packed 58050"}));
        for (const auto& b : Memory_Audio_Device::buffers())
            EXPECT_EQ(b.bytes.size(), 256u * 6);
    }

    // Every fade moves by the larger of its two gains per fade length: up by the target's
    // share, down by the starting gain's share. From and to silence, and between 0.5 and 0.03.
    TEST_F(Play, FadesStepByTheLargerGainOverTheFadeLengthPerFrame)
    {
        Corvane::Track track(nullptr);
        Memory_Audio_Device::Settings settings;
        settings.on_release = [&](int release)
        {
            if (release == 100)
                track.set_volume(0.03, 0.25);
            if (release == 200)
                track.set_volume(0.5, 0.25);
        };
        configure(settings);
        track.volume = 0.5;
        track.load(constant(folder, "fade.flac", 32767, 1.0));
        ASSERT_TRUE(run_ended(track));
        const auto left = played_left();
        ASSERT_GT(left.size(), 300u * buffer);
        const auto level = [](double gain) { return static_cast<int32_t>(gain * 8388607.0 + 0.5); };
        double gain = 0.0;
        for (size_t i = 0; i < 11024; ++i)
        {
            gain += 0.5 / 11025;
            ASSERT_EQ(left[i], level(gain)) << i;
        }
        EXPECT_EQ(left[0], 380); // 0.5 / 11025 of full scale
        EXPECT_NEAR(left[11024], 4194304, 1);
        for (size_t i = 11026; i < 100 * buffer; ++i)
            ASSERT_EQ(left[i], 4194304) << i; // exactly the volume once the fade is over
        gain = 0.5;
        for (size_t i = 100 * buffer; gain - 0.5 / 11025 > 0.03; ++i)
        {
            gain -= 0.5 / 11025;
            ASSERT_EQ(left[i], level(gain)) << i;
        }
        EXPECT_EQ(left[200 * buffer - 1], level(0.03));
        gain = 0.03;
        for (size_t i = 200 * buffer; gain + 0.5 / 11025 < 0.5; ++i)
        {
            gain += 0.5 / 11025;
            ASSERT_EQ(left[i], level(gain)) << i;
        }
        EXPECT_EQ(left[300 * buffer - 1], 4194304);
    }

    // Pause: fade out over 0.25 s, two silent buffers, stop; the place is kept. Resume: a new
    // stream that fades in from there.
    TEST_F(Play, PauseFadesOutAndKeepsThePlaceAndResumeFadesInAgain)
    {
        Corvane::Track track(nullptr);
        Memory_Audio_Device::Settings settings;
        settings.on_release = [&](int release)
        {
            if (release == 100)
                track.playing = false;
        };
        configure(settings);
        track.volume = 1.0;
        track.load(constant(folder, "pause.flac", 32767, 1.0));
        ASSERT_TRUE(run_ended(track));

        // 100 buffers before the pause, then 0.25 s = 11025 frames of fade, in whole buffers.
        EXPECT_EQ(track.position.load(), 100 * buffer + 84 * buffer);
        EXPECT_EQ(track.gain.load(), 0.0);
        const auto left = played_left();
        ASSERT_EQ(left.size(), 184u * buffer);
        EXPECT_EQ(left[100 * buffer - 1], 8388607);
        EXPECT_EQ(left[100 * buffer], static_cast<int32_t>((1.0 - 1.0 / 11025) * 8388607.0 + 0.5));
        for (size_t i = 100 * buffer + 1; i < 100 * buffer + 11000; ++i)
            ASSERT_LT(left[i], left[i - 1]) << i;
        EXPECT_EQ(left.back(), 0);
        EXPECT_EQ(tail(Memory_Audio_Device::calls(), 4),
                  (std::vector<std::string>{"get_buffer", "release_buffer silent", "stop", "close"}));

        const int64_t kept = track.position;
        Memory_Audio_Device::reset();
        track.play();
        ASSERT_TRUE(eventually([&] { return track.position.load() >= track.frame_count.load(); }));
        ASSERT_TRUE(run_ended(track));
        const auto resumed = played_left();
        EXPECT_EQ(resumed.size(), static_cast<size_t>(track.frame_count - kept + buffer - 1) / buffer * buffer);
        EXPECT_EQ(resumed[0], static_cast<int32_t>(1.0 / 11025 * 8388607.0 + 0.5));
        EXPECT_EQ(Memory_Audio_Device::calls().front(), "open");
    }

    // S pressed twice in quick succession: the next run waits on the mutex while the last one
    // fades out, and must not find the card still held by it (which ends the player).
    TEST_F(Play, QuickPauseAndResumeNeverOpensTheCardTwice)
    {
        auto file = constant(folder, "quick.flac", 20000, 45.0);
        // Any refusal ends the player, so the cycles run in a child process.
        const auto cycle = [&]
        {
            Memory_Audio_Device::Settings settings;
            settings.pace = Pace::paced;
            settings.speed = 50.0;
            settings.close_time = std::chrono::milliseconds(1);
            configure(settings);
            Corvane::Track track(nullptr);
            track.volume = 1.0;
            track.load(file);
            if (!loaded(track))
                return 3;
            int cycles = 0;
            for (; cycles < 1000 && track.position.load() < track.frame_count.load(); ++cycles)
            {
                track.playing = false;
                std::this_thread::sleep_for(2ms);
                track.play();
                std::this_thread::sleep_for(2ms);
            }
            const bool ended = track.position.load() == track.frame_count.load() && run_ended(track);
            return ended && cycles >= 50 && Memory_Audio_Device::refused_opens() == 0 ? 0 : 2;
        };
        EXPECT_EXIT(std::exit(cycle()), testing::ExitedWithCode(0), "");
    }

    TEST_F(Play, PauseDuringTheFadeInLetsTheFadeFinishFirst)
    {
        Corvane::Track track(nullptr);
        Memory_Audio_Device::Settings settings;
        settings.on_release = [&](int release)
        {
            if (release == 1)
                track.pause();
        };
        configure(settings);
        track.volume = 0.8;
        track.load(constant(folder, "early.flac", 32767, 1.0));
        ASSERT_TRUE(run_ended(track));
        const auto left = played_left();
        EXPECT_EQ(*std::max_element(left.begin(), left.end()), static_cast<int32_t>(0.8 * 8388607.0 + 0.5));
        EXPECT_EQ(left.size(), 2u * 84 * buffer); // 0.25 s up, 0.25 s down
        EXPECT_EQ(left.back(), 0);

        // A pause while the resumed run still opens its stream (as long as a second when the
        // card is borrowed from a sound server) is kept: the run closes the stream unplayed.
        const int64_t kept = track.position;
        Memory_Audio_Device::Settings opening;
        opening.on_release = [&](int release)
        {
            if (release == 0)
                track.pause();
        };
        configure(opening);
        track.play();
        ASSERT_TRUE(run_ended(track));
        EXPECT_FALSE(track.playing);
        EXPECT_EQ(track.position.load(), kept);
        EXPECT_TRUE(played_left().empty());
    }

    // Records the Track's position after every buffer the device receives.
    struct Position_Log
    {
        std::mutex mutex;
        std::vector<int64_t> positions;

        std::vector<int64_t> get()
        {
            std::lock_guard lock(mutex);
            return positions;
        }
    };

    // Seeks: 0.15 s fade out, the jump (clamped to the track), 0.15 s fade in.
    TEST_F(Play, SeekFadesOutJumpsAndFadesInWithinTheTrack)
    {
        auto file = constant(folder, "seek.flac", 20000, 12.0);
        struct Case
        {
            int32_t seek;     // frames, added after buffer 100
            int64_t expected; // position right after the jump, or -1: the end
        };
        for (const Case c : {Case{441000, -2}, Case{-441000, 0}, Case{20 * 44100, -1}})
        {
            Position_Log log;
            Corvane::Track track(nullptr);
            Memory_Audio_Device::Settings settings;
            settings.on_release = [&](int release)
            {
                std::lock_guard lock(log.mutex);
                log.positions.push_back(track.position);
                if (release == 100)
                    track.seek += c.seek;
                if (release == 400)
                    track.playing = false;
            };
            configure(settings);
            track.volume = 1.0;
            track.load(file);
            ASSERT_TRUE(run_ended(track));
            const auto positions = log.get();
            // Buffers 101..151 fade out over 6615 frames, then the jump.
            const int64_t before = 100 * buffer + 51 * buffer;
            ASSERT_EQ(positions.at(151), before) << c.seek;
            if (c.expected == -1)
            {
                EXPECT_EQ(track.position.load(), track.frame_count.load());
                EXPECT_EQ(positions.size(), 154u); // nothing but the two silent buffers after the jump
                continue;
            }
            const int64_t target = c.expected == -2 ? before + c.seek : c.expected;
            EXPECT_EQ(positions.at(152), target + buffer) << c.seek;
            EXPECT_EQ(track.seek.load(), 0);
        }
    }

    TEST_F(Play, RealTimeRefusedStillPlays)
    {
        Realtime_Double::reset(true);
        Corvane::Track track(nullptr);
        track.load(constant(folder, "normal.flac", 1000, 0.05));
        ASSERT_TRUE(run_ended(track));
        EXPECT_EQ(track.position.load(), track.frame_count.load());
        EXPECT_EQ(Realtime_Double::left(), 0);
        EXPECT_TRUE(Message_Box_Recorder::shown().empty());
    }

    TEST_F(Play, SteppedDeviceGetsOneBufferPerStep)
    {
        Memory_Audio_Device::Settings settings;
        settings.pace = Pace::stepped;
        configure(settings);
        Corvane::Track track(nullptr);
        track.load(constant(folder, "steps.flac", 1000, 0.5));
        ASSERT_TRUE(Memory_Audio_Device::wait_until_parked(20s));
        EXPECT_TRUE(track.playing.load());
        EXPECT_FALSE(track.starting.load());
        EXPECT_EQ(track.position.load(), 0);
        for (int64_t step = 1; step <= 3; ++step)
        {
            Memory_Audio_Device::step(1);
            ASSERT_TRUE(Memory_Audio_Device::wait_until_parked(20s));
            EXPECT_EQ(track.position.load(), step * buffer);
        }
        track.playing = false;
        Memory_Audio_Device::step(1000);
        ASSERT_TRUE(run_ended(track));
    }

    // Loading the next track fades the playing one out and closes its stream before the
    // decode touches the Track; the new stream opens at the new track's rate.
    TEST_F(Play, LoadWhilePlayingFadesTheOldStreamOutBeforeTheNewDecode)
    {
        auto first = constant(folder, "first.flac", 32767, 2.0, 44100);
        auto second = constant(folder, "second.flac", 32767, 0.3, 48000);
        std::mutex mutex;                               // before the Track: its threads use these until it is gone
        std::vector<std::pair<uint32_t, int64_t>> seen; // rate and length of the track at each buffer
        Corvane::Track track(nullptr);
        Memory_Audio_Device::Settings settings;
        settings.pace = Pace::paced;
        settings.speed = 4.0;
        settings.on_release = [&](int)
        {
            std::lock_guard lock(mutex);
            seen.emplace_back(track.sample_rate, track.frame_count.load());
        };
        configure(settings);
        track.volume = 1.0;
        track.load(first);
        ASSERT_TRUE(eventually([&] { return track.position.load() > 20000; }));
        track.load(second);
        ASSERT_TRUE(eventually([&] { return !track.loading.load(); }));
        ASSERT_TRUE(eventually([&] { return track.position.load() == track.frame_count.load(); }));
        ASSERT_TRUE(run_ended(track));

        std::lock_guard lock(mutex);
        const auto switch_at = std::find_if(seen.begin(), seen.end(), [](const auto& s) { return s.first == 48000; });
        ASSERT_NE(switch_at, seen.end());
        EXPECT_TRUE(std::all_of(seen.begin(), switch_at,
                                [](const auto& s) {
                                    return s == std::pair<uint32_t, int64_t>{44100, 88200};
                                }));
        EXPECT_TRUE(std::all_of(switch_at, seen.end(),
                                [](const auto& s) {
                                    return s == std::pair<uint32_t, int64_t>{48000, 14400};
                                }));
        const auto calls = Memory_Audio_Device::calls();
        const auto first_close = std::find(calls.begin(), calls.end(), "close");
        ASSERT_NE(first_close, calls.end());
        EXPECT_EQ(std::vector<std::string>(first_close - 7, first_close + 1),
                  (std::vector<std::string>{"wait", "get_buffer", "release_buffer silent", "wait", "get_buffer",
                                            "release_buffer silent", "stop", "close"}));
        EXPECT_NE(std::find(first_close, calls.end(), "initialize 48000 packed 30000"), calls.end());
        // The old run ended on silence: its fade-out finished before the stream stopped.
        const auto buffers = Memory_Audio_Device::buffers();
        const auto last_audio =
            std::find_if(buffers.begin(), buffers.end(), [](const auto& b) { return b.silent && b.started; }) - 1;
        EXPECT_EQ(sample_at(last_audio->bytes, buffer - 1, 0, false), 0);
    }

    // The user picks another track while the run of the last one is still opening its
    // stream: that run must give way at once instead of playing on while the load waits.
    TEST_F(Play, LoadWhileTheRunIsOpeningGivesWayAtOnce)
    {
        auto first = constant(folder, "first.flac", 20000, 1.0, 44100);
        auto second = constant(folder, "second.flac", 20000, 0.2, 48000);
        Corvane::Track track(nullptr);
        Memory_Audio_Device::Settings settings;
        settings.on_release = [&](int release)
        {
            if (release == 0) // the first run has primed its stream and is about to start it
                track.load(second);
        };
        configure(settings);
        track.load(first);
        ASSERT_TRUE(eventually([&] { return track.frame_count.load() == 9600 && !track.loading; }));
        ASSERT_TRUE(eventually([&] { return track.position.load() == track.frame_count.load(); }));
        ASSERT_TRUE(run_ended(track));

        const auto calls = Memory_Audio_Device::calls();
        const auto first_close = std::find(calls.begin(), calls.end(), "close");
        ASSERT_NE(first_close, calls.end());
        EXPECT_EQ(std::find(calls.begin(), first_close, "start"), first_close); // never started
        EXPECT_EQ(*(first_close - 1), "release_buffer silent");
        EXPECT_NE(std::find(first_close, calls.end(), "initialize 48000 packed 30000"), calls.end());
        EXPECT_EQ(track.frame_count.load(), 9600);
    }

    // Pause, resume, seek, volume, load and destroy from the main thread while the play and
    // loader threads run. ThreadSanitizer and AddressSanitizer do the judging.
    TEST_F(Play, MainThreadCommandsRaceCleanlyWithLoaderAndPlayThreads)
    {
        auto a = constant(folder, "a.flac", 20000, 0.4);
        auto b = constant(folder, "b.flac", -20000, 0.3, 48000);
        Memory_Audio_Device::Settings settings;
        settings.pace = Pace::paced;
        settings.speed = 8.0;
        configure(settings);
        std::mt19937 random(4);
        for (int round = 0; round < 6; ++round)
        {
            Corvane::Track track(nullptr);
            for (int command = 0; command < 12; ++command)
            {
                switch (random() % 6)
                {
                case 0: track.load(random() % 2 ? a : b); break;
                case 1: track.playing = false; break;
                case 2:
                    if (!track.loading && track.file)
                        track.play();
                    break;
                case 3: track.seek += static_cast<int32_t>(random() % 20000) - 10000; break;
                case 4:
                    track.volume = (random() % 100) / 100.0;
                    track.set_volume(track.volume, 0.05);
                    break;
                default: break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(random() % 15));
            }
        }
        EXPECT_TRUE(Message_Box_Recorder::shown().empty());
        EXPECT_EQ(Memory_Audio_Device::devices_open(), 0);
    }
}
