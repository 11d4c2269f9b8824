// Decoding whole tracks: exact sample values, STREAMINFO that lies about the length, the
// peak and the normalisation factor, the 5.1 down-mix, fade requests, and the loader's
// life next to a Track that is destroyed or asked to load twice.
#include "playback_test.h"
#include "platform/memory.h"

#include <algorithm>
#include <cmath>

namespace
{
    using namespace Playback_Test;
    using Track_Load = Playback;

    TEST_F(Track_Load, SixteenBitStereoKeepsEveryValueAndTheStreamFacts)
    {
        const std::vector<int32_t> samples{32767, -32768, 0, 1, -1, 16384, 12345, -23456};
        auto file = folder.samples("a.flac", samples);
        Corvane::Track track(nullptr);
        track.load(file);
        ASSERT_TRUE(loaded(track));

        EXPECT_EQ(track.channels, 2u);
        EXPECT_EQ(track.sample_rate, 44100u);
        EXPECT_EQ(track.bits_per_sample, 16u);
        EXPECT_EQ(track.frame_count.load(), 4);
        EXPECT_EQ(track.file_size, Flac_Fixture::file_size("a.flac"));
        EXPECT_EQ(track.samples[0][0], 1.0);
        EXPECT_NEAR(track.samples[1][0], -1.00003, 1e-5);
        EXPECT_LT(track.samples[1][0], -1.0);
        for (size_t i = 0; i < samples.size(); ++i)
            EXPECT_EQ(track.samples[i % 2][i / 2], samples[i] / 32767.0) << i;
        EXPECT_EQ(track.peak, 32768 / 32767.0); // the trough at -32768
        ASSERT_TRUE(run_ended(track));
        EXPECT_EQ(track.position.load(), 4); // played to the end on the free-running device
    }

    TEST_F(Track_Load, TwentyFourBitFullScaleReadsAsOne)
    {
        auto file = folder.samples("b.flac", {8388607, -8388608, 4194304, -1}, 2, 24, 96000);
        Corvane::Track track(nullptr);
        track.load(file);
        ASSERT_TRUE(loaded(track));
        EXPECT_EQ(track.sample_rate, 96000u);
        EXPECT_EQ(track.bits_per_sample, 24u);
        EXPECT_EQ(track.samples[0][0], 1.0);
        EXPECT_EQ(track.samples[1][0], -8388608 / 8388607.0);
        EXPECT_EQ(track.samples[0][1], 4194304 / 8388607.0);
        EXPECT_EQ(track.samples[1][1], -1 / 8388607.0);
    }

    // STREAMINFO that gives no length, or too short a one, must neither overrun the arrays
    // nor cut the track: every frame of the stream is kept. One far too long (up to the
    // field's 2^36 - 1 frames, terabytes of doubles) must cost no memory beyond the stream's.
    TEST_F(Track_Load, LengthMissingOrWrongInStreamInfoStillKeepsTheWholeStream)
    {
        for (int64_t declared : {int64_t{0}, int64_t{1000}, int64_t{10000000000}, (int64_t{1} << 36) - 1})
        {
            // A fresh card each time: the run has ended once this one has been opened and closed.
            Memory_Audio_Device::reset();
            Flac_Fixture::Options options;
            options.seconds = 0.5;
            options.blocksize = 1152;
            options.declared_frames = declared;
            const auto expected = Flac_Fixture::make_tone(options);
            Flac_Fixture::write("short.flac", options, expected);
            Corvane::Track track(nullptr);
            track.load(folder.track("short.flac"));
            ASSERT_TRUE(loaded(track));
            ASSERT_EQ(track.frame_count.load(), 22050) << declared;
            for (size_t i = 0; i < expected.size(); i += 997)
                ASSERT_EQ(track.samples[i % 2][i / 2], expected[i] / 32767.0) << declared << " " << i;
            EXPECT_LT(resident_bytes(), 2e9) << declared;
            EXPECT_TRUE(run_ended(track));
            EXPECT_EQ(track.position.load(), 22050);
        }
    }

    TEST_F(Track_Load, FileCutAtAFrameBoundaryPlaysWhatItHolds)
    {
        Flac_Fixture::Options options;
        options.blocksize = 4096;
        const auto frames = Flac_Fixture::write_tone("cut.flac", options);
        Flac_Fixture::truncate("cut.flac", frames[3]);
        Corvane::Track track(nullptr);
        track.load(folder.track("cut.flac"));
        ASSERT_TRUE(loaded(track));
        EXPECT_EQ(track.frame_count.load(), 3 * 4096);
        EXPECT_TRUE(run_ended(track));
        EXPECT_EQ(track.position.load(), 3 * 4096);
    }

    // A frame that claims to start far ahead (here 2^26 frames, 25 minutes in) leaves a gap
    // that plays as silence (libFLAC may hand over the frame itself as silence too); the gap
    // must not be written, and so cost no memory.
    TEST_F(Track_Load, FrameNumberedFarAheadLeavesSilenceThatCostsNoMemory)
    {
        Flac_Fixture::Options options;
        options.blocksize = 4096;
        options.seconds = 4 * 4096 / 44100.0;
        const auto expected = Flac_Fixture::make_tone(options);
        const auto frames = Flac_Fixture::write("ahead.flac", options, expected);
        ASSERT_EQ(frames.size(), 4u);
        constexpr int64_t jump = int64_t{1} << 26;
        Flac_Fixture::renumber_frame("ahead.flac", frames, 3, jump / 4096);
        const double before = resident_bytes();
        Corvane::Track track(nullptr);
        track.load(folder.track("ahead.flac"));
        ASSERT_TRUE(loaded(track));
        EXPECT_LT(resident_bytes() - before, 256e6); // the gap alone is 1 GiB of doubles
        ASSERT_EQ(track.frame_count.load(), jump + 4096);
        EXPECT_TRUE(Message_Box_Recorder::shown().empty());
        for (int64_t f : {int64_t{0}, int64_t{3 * 4096 - 1}, 3 * 4096 + int64_t{1000}, jump / 2, jump - 1})
            ASSERT_EQ(track.samples[0][f], f < 3 * 4096 ? expected[2 * f] / 32767.0 : 0.0) << f;
    }

    TEST_F(Track_Load, QuietTrackIsRaisedToFullScale)
    {
        Flac_Fixture::Options options;
        options.amplitude = 0.25;
        options.seconds = 0.1;
        Corvane::Track track(nullptr);
        track.load(folder.tone("quiet.flac", options));
        ASSERT_TRUE(loaded(track));
        EXPECT_NEAR(track.peak, 0.25, 1e-4);
        EXPECT_NEAR(track.get_factor(), 1.0 / track.peak, 1e-12);
        double loudest = 0.0;
        for (int64_t i = 0; i < track.frame_count; ++i)
            loudest = std::max(loudest, std::abs(track.get_sample(i, false)));
        EXPECT_DOUBLE_EQ(loudest, 1.0);
    }

    TEST_F(Track_Load, SilentTrackKeepsFactorOneAndPlaysSilence)
    {
        Flac_Fixture::Options options;
        options.tone = 0.0;
        options.seconds = 0.1;
        Corvane::Track track(nullptr);
        track.volume = 1.0;
        track.load(folder.tone("silence.flac", options));
        ASSERT_TRUE(loaded(track));
        EXPECT_EQ(track.peak, 0.0);
        EXPECT_EQ(track.get_factor(), 1.0);
        ASSERT_TRUE(run_ended(track));
        for (const auto& buffer : Memory_Audio_Device::buffers())
            for (uint8_t byte : buffer.bytes)
                ASSERT_EQ(byte, 0);
    }

    // A quiet track whose troughs are deeper than its crests (common in voice and brass) is
    // raised until its deepest trough, not its highest crest, reaches full scale.
    TEST_F(Track_Load, TroughsCountTowardsThePeakAsMuchAsCrests)
    {
        auto file = folder.samples("troughs.flac", {-16384, 8192, -100, 4096, 0, -30});
        Corvane::Track track(nullptr);
        track.load(file);
        ASSERT_TRUE(loaded(track));
        EXPECT_EQ(track.peak, 16384 / 32767.0);
        EXPECT_NEAR(track.get_sample(0, false), -1.0, 1e-12);
        EXPECT_NEAR(track.get_sample(0, true), 0.5, 1e-12);
        EXPECT_NEAR(track.get_sample(1, true), 0.25, 1e-12);
    }

    void expect_surround_mix(const Corvane::Track& track, const std::function<double(int32_t)>& v)
    {
        const double k = std::pow(10.0, -3.0 / 20.0);
        EXPECT_NEAR(k, 0.70795, 1e-5);
        // Quiet material is normalised; compare before the factor.
        const double factor = track.get_factor();
        EXPECT_DOUBLE_EQ(track.get_sample(0, false) / factor, v(3000) * k + v(1000) + v(4000));
        EXPECT_DOUBLE_EQ(track.get_sample(0, true) / factor, v(3000) * k + v(2000) + v(5000));
        EXPECT_DOUBLE_EQ(track.get_sample(1, false) / factor, v(10000) * k + v(-1000) + v(0));
        EXPECT_DOUBLE_EQ(track.get_sample(1, true) / factor, v(10000) * k + v(0) + v(-7000));
        EXPECT_DOUBLE_EQ(track.peak, v(3000) * k + v(2000) + v(5000));
    }

    TEST_F(Track_Load, SurroundMixesCentreAtMinusThreeDecibelsAndIgnoresTheSubwoofer)
    {
        for (const uint32_t bits : {16u, 24u})
        {
            // FL FR C LFE BL BR
            const int32_t full = bits == 16 ? 32767 : 8388607;
            const std::vector<int32_t> samples{1000,  2000, 3000,  full,      4000, 5000,
                                               -1000, 0,    10000, -full - 1, 0,    -7000};
            auto file = folder.samples("surround.flac", samples, 6, bits, 48000);
            Corvane::Track track(nullptr);
            track.load(file);
            ASSERT_TRUE(loaded(track));
            ASSERT_EQ(track.channels, 6u);
            ASSERT_EQ(track.bits_per_sample, bits);
            expect_surround_mix(track, [&](int32_t s) { return s / static_cast<double>(full); });
        }
    }

    TEST_F(Track_Load, LoudSurroundMixIsLoweredToFullScale)
    {
        const std::vector<int32_t> samples{32767, 32767, 32767, 0, 32767, 32767};
        Corvane::Track track(nullptr);
        track.load(folder.samples("loud.flac", samples, 6));
        ASSERT_TRUE(loaded(track));
        const double mix = std::pow(10.0, -3.0 / 20.0) + 2.0;
        EXPECT_DOUBLE_EQ(track.peak, mix);
        EXPECT_DOUBLE_EQ(track.get_sample(0, false), 1.0);

        // The same mix below zero is lowered alike.
        const std::vector<int32_t> troughs{-32767, -32767, -32767, 0, -32767, -32767};
        track.load(folder.samples("deep.flac", troughs, 6));
        ASSERT_TRUE(loaded(track));
        EXPECT_DOUBLE_EQ(track.peak, mix);
        EXPECT_DOUBLE_EQ(track.get_sample(0, false), -1.0);
    }

    TEST(Normalisation, FactorIsOneWithinTenPercentOfFullScaleElseTheInversePeak)
    {
        Corvane::Track track(nullptr);
        const std::vector<std::pair<double, double>> cases{{0.95, 1.0}, {1.0, 1.0},       {1.11, 1.0}, {0.5, 2.0},
                                                           {0.8, 1.25}, {1.2, 1.0 / 1.2}, {0.0, 1.0},  {-0.3, 1.0}};
        for (const auto& [peak, factor] : cases)
        {
            track.peak = peak;
            EXPECT_DOUBLE_EQ(track.get_factor(), factor) << peak;
        }
        track.channels = 2;
        track.samples = new double* [2] { Platform::reserve_doubles(1), Platform::reserve_doubles(1) };
        Platform::commit_doubles(track.samples[0], 0, 1);
        Platform::commit_doubles(track.samples[1], 0, 1);
        track.samples[0][0] = 0.25;
        track.samples[1][0] = -0.5;
        track.peak = 0.5;
        EXPECT_DOUBLE_EQ(track.get_sample(0, false), 0.5);
        EXPECT_DOUBLE_EQ(track.get_sample(0, true), -1.0);
    }

    TEST(Set_Volume, ClampsTargetAndTimeAndStartsFromTheGainNow)
    {
        Corvane::Track track(nullptr);
        track.gain = 0.4;
        track.volume = 0.03;
        track.set_volume(1.5, 0.0);
        EXPECT_EQ(track.fade_from.load(), 0.4);
        EXPECT_EQ(track.fade_to.load(), 1.0);
        EXPECT_EQ(track.fade_seconds.load(), 0.01);
        track.set_volume(-0.2, 20.0);
        EXPECT_EQ(track.fade_to.load(), 0.0);
        EXPECT_EQ(track.fade_seconds.load(), 10.0);
        track.set_volume(0.7, 0.25);
        EXPECT_EQ(track.fade_to.load(), 0.7);
        EXPECT_EQ(track.fade_seconds.load(), 0.25);
        EXPECT_EQ(track.volume.load(), 0.03); // the user's volume is not the fade's business
        EXPECT_EQ(track.gain.load(), 0.4);
    }

    TEST(Track_Construction, StartsEmptyAtThreePercent)
    {
        Corvane::Track track(nullptr);
        EXPECT_EQ(track.volume.load(), 0.03);
        EXPECT_FALSE(track.file);
        EXPECT_EQ(track.samples, nullptr);
        EXPECT_FALSE(track.loading || track.starting || track.playing || track.quit);
        EXPECT_EQ(track.frame_count.load() + track.position.load() + track.seek.load(), 0);
    }

    // What a load leaves in the Track, copied out.
    struct Loaded
    {
        std::vector<std::vector<double>> channels;
        double peak = 0.0;
        int64_t frame_count = 0;
        uint32_t decoders = 0;
    };

    // Loads `file` with at most `decoders` decoder threads, each taking 20,000 frames or more,
    // into a Track that has loaded `before` first when it is given, or (`after_failure`) that
    // holds arrays as a load failing halfway through reserving them leaves them.
    Loaded load_with(const std::shared_ptr<Corvane::File>& file, uint32_t decoders,
                     const std::shared_ptr<Corvane::File>& before = nullptr, bool after_failure = false)
    {
        Corvane::Track track(nullptr);
        track.decoder_limit = decoders;
        track.frames_per_decoder = 20000;
        if (after_failure)
        {
            track.channels = 2;
            track.samples = new double* [2] { Platform::reserve_doubles(1000), nullptr };
        }
        if (before)
        {
            track.load(before);
            if (!loaded(track))
                return {};
        }
        track.load(file);
        Loaded result;
        if (!loaded(track))
            return result;
        result.frame_count = track.frame_count.load();
        for (uint32_t c = 0; c < track.channels; ++c)
            result.channels.emplace_back(track.samples[c], track.samples[c] + result.frame_count);
        result.peak = track.peak;
        result.decoders = track.decoders;
        return result;
    }

    // A long track is split between decoder threads; what they leave must be, bit for bit,
    // what one decoder reading front to back leaves, also in arrays that a longer, louder
    // track with more channels held before.
    TEST_F(Track_Load, SplitDecodeGivesExactlyTheOneThreadResult)
    {
        Flac_Fixture::Options loud;
        loud.channels = 6;
        loud.bits = 24;
        loud.seconds = 3.0;
        loud.amplitude = 1.0;
        Flac_Fixture::write_music("before.flac", Flac_Fixture::flac_defaults(loud));
        const auto before = folder.track("before.flac");
        struct Case
        {
            const char* what;
            uint32_t channels, bits;
            double seconds;
            double seek_spacing;   // 0: no seek table
            int64_t declared = -1; // STREAMINFO's length; 0 unknown
            uint32_t expected_decoders = 4;
            uint32_t third_frame_number = 0; // when given: ahead, and later frames go back
        };
        const Case cases[] = {
            {"stereo 16", 2, 16, 2.0, 0.5},
            {"stereo 24", 2, 24, 2.0, 0.5},
            {"5.1 16", 6, 16, 2.0, 0.5},
            {"5.1 24", 6, 24, 2.0, 0.5},
            {"length not a whole number of blocks", 2, 16, 2.01234, 0.5},
            {"no seek table", 2, 24, 2.0, 0.0},
            {"length unknown", 2, 16, 2.0, 0.5, 0, 1},
            // libFLAC fills the jump with silence that looks in order to the first range.
            {"a frame numbered ahead", 2, 16, 2.0, 0.5, -1, 1, 15},
        };
        for (const Case& c : cases)
        {
            Flac_Fixture::Options options;
            options.channels = c.channels;
            options.bits = c.bits;
            options.seconds = c.seconds;
            options.amplitude = 0.9;
            options = Flac_Fixture::flac_defaults(options);
            options.seek_spacing = c.seek_spacing;
            options.declared_frames = c.declared;
            const auto frames = Flac_Fixture::write_music("music.flac", options);
            if (c.third_frame_number)
                Flac_Fixture::renumber_frame("music.flac", frames, 2, c.third_frame_number);
            const auto file = folder.track("music.flac");
            const Loaded alone = load_with(file, 1);
            const Loaded split = load_with(file, 4);
            const Loaded after = load_with(file, 4, before);
            const Loaded after_failure = load_with(file, 4, nullptr, true);
            EXPECT_EQ(alone.decoders, 1u) << c.what;
            EXPECT_TRUE(after_failure.channels == alone.channels) << c.what;
            EXPECT_EQ(after.peak, alone.peak) << c.what;
            EXPECT_TRUE(after.channels == alone.channels) << c.what;
            EXPECT_EQ(split.decoders, c.expected_decoders) << c.what;
            EXPECT_EQ(split.frame_count, static_cast<int64_t>(c.seconds * 44100 + 0.5)) << c.what;
            EXPECT_EQ(split.frame_count, alone.frame_count) << c.what;
            EXPECT_EQ(split.peak, alone.peak) << c.what;
            EXPECT_GT(split.peak, 0.5) << c.what;
            ASSERT_EQ(split.channels.size(), c.channels) << c.what;
            EXPECT_TRUE(split.channels == alone.channels) << c.what;
        }
    }

    TEST_F(Track_Load, SecondLoadWhileLoadingIsDroppedAndReleasesItsFile)
    {
        Memory_Audio_Device::Settings settings;
        settings.pace = Memory_Audio_Device::Pace::paced;
        Memory_Audio_Device::reset(settings);
        Flac_Fixture::Options options;
        options.seconds = 0.3;
        auto first = folder.tone("first.flac", options);
        auto second = folder.tone("second.flac", options);
        Corvane::Track track(nullptr);
        track.loading = true; // as if a load were under way
        track.load(second);
        EXPECT_EQ(second.use_count(), 1);
        EXPECT_FALSE(track.file);
        track.loading = false;
        track.load(first);
        EXPECT_EQ(track.file, first);
        ASSERT_TRUE(loaded(track));
    }

    // The destructor must neither wait for a long decode nor report the abort.
    TEST_F(Track_Load, DestroyingDuringALongDecodeReturnsPromptlyAndSilently)
    {
        Flac_Fixture::Options options;
        options.seconds = 60;
        options.sample_rate = 48000;
        options.compression = 0;
        auto file = folder.tone("long.flac", options);

        // On four decoder threads, whatever the machine: every one of them must stop.
        const auto load_on_four = [&](Corvane::Track& track)
        {
            track.decoder_limit = 4;
            track.frames_per_decoder = 1 << 18;
            track.load(file);
        };
        auto decode_time = [&]
        {
            const auto start = std::chrono::steady_clock::now();
            Corvane::Track whole(nullptr);
            load_on_four(whole);
            EXPECT_TRUE(loaded(whole));
            EXPECT_EQ(whole.decoders, 4u);
            return std::chrono::steady_clock::now() - start;
        };
        const auto full = decode_time();

        auto destroy_time = [&]
        {
            const auto start = std::chrono::steady_clock::now();
            {
                Corvane::Track track(nullptr);
                load_on_four(track);
                std::this_thread::sleep_for(full / 10);
            }
            return std::chrono::steady_clock::now() - start;
        };
        // The quickest of three: starting the threads and the decoders has a cost of its own
        // that a busy machine (other tests, Wine's one server for all of them) can stretch to
        // most of a decode now and then; a destructor that waited would make all three slow.
        const auto destroyed = std::min({destroy_time(), destroy_time(), destroy_time()});
        EXPECT_LT(destroyed, full / 2);
        EXPECT_TRUE(Message_Box_Recorder::shown().empty());
    }

    // A play thread queued on the mutex when the Track goes: it must not touch it afterwards
    // (AddressSanitizer and ThreadSanitizer watch this one).
    TEST_F(Track_Load, DestroyingRightAfterALoadLeavesNoThreadBehind)
    {
        Flac_Fixture::Options options;
        options.seconds = 0.05;
        auto file = folder.tone("short.flac", options);
        for (int i = 0; i < 20; ++i)
        {
            auto track = std::make_unique<Corvane::Track>(nullptr);
            track->load(file);
            eventually([&] { return !track->loading.load() || i % 2 == 0; });
            track.reset();
        }
        EXPECT_TRUE(Message_Box_Recorder::shown().empty());
        EXPECT_EQ(Memory_Audio_Device::devices_open(), 0);
    }
}
