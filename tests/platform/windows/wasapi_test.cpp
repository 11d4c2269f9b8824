// The Windows audio device for real, driven by the play thread, against the scripted WASAPI
// endpoint: the calls in their order, the bytes in both sample layouts, the fades, the
// misaligned-buffer reopening, and the box for every way the endpoint can refuse or fail.
#include "doubles/fake_wasapi.h"
#include "doubles/message_box_recorder.h"
#include "doubles/realtime_double.h"
#include "flac_fixture.h"
#include "library/file.h"
#include "playback/track.h"
#include "support/poll.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <audioclient.h>

#include <chrono>
#include <functional>
#include <regex>
#include <thread>

namespace
{
    using namespace std::chrono_literals;

    constexpr uint32_t buffer = 132; // frames: 3 ms at 44100 Hz, the endpoint's minimum period

    // A run has ended when its flags are down and the endpoint's last object is released.
    bool run_ended(const Corvane::Track& track)
    {
        return Test_Support::poll_until([&] { return !track.loading && !track.starting && !track.playing; }, 20s) &&
               Fake_Wasapi::wait_until_released(20s);
    }

    int32_t sample_at(const std::vector<uint8_t>& bytes, size_t frame, int channel, bool padded)
    {
        const size_t size = padded ? 4 : 3;
        const size_t at = frame * size * 2 + channel * size;
        uint32_t value = 0;
        for (size_t b = 0; b < size; ++b)
            value |= static_cast<uint32_t>(bytes[at + b]) << (8 * b);
        return padded ? static_cast<int32_t>(value) >> 8 : static_cast<int32_t>(value << 8) >> 8;
    }

    // What a 16-bit sample becomes on the wire at gain 1.
    int32_t wire(int32_t sample)
    {
        return static_cast<int32_t>(sample / 32767.0 * 8388607.0 + 0.5);
    }

    // Left samples of the buffers played while the stream ran, not marked silent.
    std::vector<int32_t> played_left(bool padded = false)
    {
        std::vector<int32_t> left;
        for (const auto& b : Fake_Wasapi::buffers())
            if (!b.silent && b.started)
                for (size_t f = 0; f < b.bytes.size() / (padded ? 8 : 6); ++f)
                    left.push_back(sample_at(b.bytes, f, 0, padded));
        return left;
    }

    std::vector<std::string> slice(const std::vector<std::string>& calls, size_t from, size_t count)
    {
        if (from + count > calls.size())
            return calls;
        return {calls.begin() + std::ptrdiff_t(from), calls.begin() + std::ptrdiff_t(from + count)};
    }

    class Wasapi : public testing::Test
    {
    protected:
        Wasapi() : library(std::make_shared<Corvane::File>()) {}

        void SetUp() override
        {
            GTEST_FLAG_SET(death_test_style, "threadsafe");
            Fake_Wasapi::Settings settings;
            settings.speed = 20; // periods pass twenty times faster than real time
            configure(settings);
            Message_Box_Recorder::clear();
            Realtime_Double::reset(false);
        }

        static void configure(Fake_Wasapi::Settings settings)
        {
            if (settings.speed == 1.0)
                settings.speed = 20;
            Fake_Wasapi::reset(settings);
        }

        std::shared_ptr<Corvane::File> track_of(const std::string& name, const std::vector<int32_t>& interleaved,
                                                uint32_t rate = 44100)
        {
            Flac_Fixture::Options options;
            options.sample_rate = rate;
            Flac_Fixture::write(name, options, interleaved);
            auto file = std::make_shared<Corvane::File>();
            file->name = name;
            file->type = Corvane::File::TRACK;
            file->parent = library;
            return file;
        }

        Test_Support::Temp_Folder folder{"corvane-wasapi"};
        Test_Support::Working_Directory inside{folder.path};
        std::shared_ptr<Corvane::File> library;
    };

    TEST_F(Wasapi, PackedStreamOpensInOrderCarriesExactBytesAndReleasesEverything)
    {
        std::vector<int32_t> samples;
        const std::vector<int32_t> values{32767, -32767, 0, 1, -1, 12345, -23456, 16384, -5, 77};
        for (int i = 0; i < 600; ++i)
            samples.push_back(values[i % values.size()]);
        Corvane::Track track(nullptr);
        track.volume = 1.0;
        track.gain = 1.0; // as after a finished track: no fade-in
        track.load(track_of("exact.flac", samples));
        ASSERT_TRUE(run_ended(track));

        const auto calls = Fake_Wasapi::calls();
        EXPECT_EQ(slice(calls, 0, 14),
                  (std::vector<std::string>{"CreateEnumerator", "GetDefaultAudioEndpoint render multimedia", "Activate",
                                            "IsFormatSupported 44100 24/24", "GetDevicePeriod",
                                            "SetClientProperties raw match media", "Initialize 44100 24/24 30000 30000",
                                            "GetBufferSize", "GetService", "SetEventHandle", "GetBuffer 132",
                                            "ReleaseBuffer 132 silent", "Start", "GetBuffer 132"}));
        EXPECT_EQ(slice(calls, calls.size() - 6, 6),
                  (std::vector<std::string>{"GetBuffer 132", "ReleaseBuffer 132 silent", "GetBuffer 132",
                                            "ReleaseBuffer 132 silent", "Stop", "Reset"}));

        const auto buffers = Fake_Wasapi::buffers();
        ASSERT_EQ(buffers.size(), 6u); // primer, three with the track, two silent
        std::vector<uint8_t> bytes;
        for (size_t b = 1; b <= 3; ++b)
        {
            ASSERT_EQ(buffers[b].bytes.size(), buffer * 6u);
            bytes.insert(bytes.end(), buffers[b].bytes.begin(), buffers[b].bytes.end());
        }
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 6),
                  (std::vector<uint8_t>{0xFF, 0xFF, 0x7F, 0x02, 0x00, 0x80}));
        for (size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(sample_at(bytes, i / 2, int(i % 2), false), wire(samples[i])) << i;
        for (size_t at = samples.size() / 2 * 6; at < bytes.size(); ++at)
            ASSERT_EQ(bytes[at], 0) << at; // after the track: silence, not what the buffer held
        EXPECT_EQ(track.position.load(), 300);
        EXPECT_EQ(Fake_Wasapi::live_objects(), 0);
    }

    TEST_F(Wasapi, FourByteContainersWhenThreeAreRefused)
    {
        Fake_Wasapi::Settings settings;
        settings.refuse_packed = true;
        configure(settings);
        Corvane::Track track(nullptr);
        track.volume = 1.0;
        track.gain = 1.0;
        track.load(track_of("padded.flac", {32767, -32767, 12345, -23456}));
        ASSERT_TRUE(run_ended(track));

        EXPECT_EQ(slice(Fake_Wasapi::calls(), 3, 5),
                  (std::vector<std::string>{"IsFormatSupported 44100 24/24", "IsFormatSupported 44100 32/24",
                                            "GetDevicePeriod", "SetClientProperties raw match media",
                                            "Initialize 44100 32/24 30000 30000"}));
        const auto bytes = Fake_Wasapi::buffers().at(1).bytes;
        ASSERT_EQ(bytes.size(), buffer * 8u);
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
                  (std::vector<uint8_t>{0x00, 0xFF, 0xFF, 0x7F, 0x00, 0x02, 0x00, 0x80}));
        EXPECT_EQ(sample_at(bytes, 1, 0, true), wire(12345));
        EXPECT_EQ(sample_at(bytes, 1, 1, true), wire(-23456));
        EXPECT_EQ(bytes[8], 0); // the padding byte
    }

    // 132 frames round up to 256 on an endpoint that wants multiples of 128: a new client
    // opens with 10^7 / 44100 x 256 = 58049.9 -> 58050 (100-ns units).
    TEST_F(Wasapi, MisalignedBufferIsOpenedAgainOnAFreshClient)
    {
        Fake_Wasapi::Settings settings;
        settings.alignment = 128;
        configure(settings);
        Corvane::Track track(nullptr);
        track.load(track_of("aligned.flac", std::vector<int32_t>(4410, 1000)));
        ASSERT_TRUE(run_ended(track));
        EXPECT_EQ(slice(Fake_Wasapi::calls(), 5, 6),
                  (std::vector<std::string>{"SetClientProperties raw match media", "Initialize 44100 24/24 30000 30000",
                                            "GetBufferSize", "Activate", "SetClientProperties raw match media",
                                            "Initialize 44100 24/24 58050 58050"}));
        for (const auto& b : Fake_Wasapi::buffers())
            EXPECT_EQ(b.bytes.size(), 256u * 6);
        EXPECT_EQ(Fake_Wasapi::live_objects(), 0);
    }

    // Without the scheduler's real-time class the stream runs at normal priority.
    TEST_F(Wasapi, SchedulerRefusalLeavesThePlayingUnharmed)
    {
        Realtime_Double::reset(true);
        Corvane::Track track(nullptr);
        track.volume = 1.0;
        track.gain = 1.0;
        track.load(track_of("refused.flac", std::vector<int32_t>(2000, 32767)));
        ASSERT_TRUE(run_ended(track));
        EXPECT_EQ(track.position.load(), 1000);
        EXPECT_EQ(played_left().at(999), 8388607);
        EXPECT_TRUE(Message_Box_Recorder::shown().empty());
    }

    // The fade-in, a pause in the middle with its fade-out, and the stream stopped.
    TEST_F(Wasapi, FadesInAndOutAroundAPause)
    {
        Corvane::Track track(nullptr);
        track.volume = 0.5;
        track.load(track_of("fade.flac", std::vector<int32_t>(44100 * 2, 32767)));
        ASSERT_TRUE(Test_Support::poll_until([&] { return track.position.load() > 20000; }, 20s));
        track.playing = false;
        ASSERT_TRUE(run_ended(track));

        const auto left = played_left();
        double gain = 0.0;
        for (size_t i = 0; i < 11024; ++i)
        {
            gain += 0.5 / 11025;
            ASSERT_EQ(left[i], static_cast<int32_t>(gain * 8388607.0 + 0.5)) << i;
        }
        // Once faded out the last buffers are silent; the run stopped before the end.
        EXPECT_EQ(left.back(), 0);
        EXPECT_LT(track.position.load(), 44100);
        EXPECT_EQ(track.gain.load(), 0.0);
        EXPECT_EQ(Fake_Wasapi::calls().back(), "Reset");
    }

    std::string box(const std::string& message)
    {
        static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
        return "\\[Corvane Error\\] " + std::regex_replace(message, special, R"(\$&)") + "\n";
    }

    void play_until_fatal(const Fake_Wasapi::Settings& settings, uint32_t rate = 44100)
    {
        Fake_Wasapi::Settings fast = settings;
        fast.speed = 20;
        Fake_Wasapi::reset(fast);
        Flac_Fixture::Options options;
        options.seconds = 0.3;
        options.sample_rate = rate;
        Flac_Fixture::write_tone("t.flac", options);
        auto file = std::make_shared<Corvane::File>();
        file->name = "t.flac";
        file->type = Corvane::File::TRACK;
        file->parent = std::make_shared<Corvane::File>();
        Corvane::Track track(nullptr);
        track.load(file);
        std::this_thread::sleep_for(30s);
        std::exit(0);
    }

    TEST_F(Wasapi, EveryRefusalEndsInItsOwnBox)
    {
        std::vector<std::pair<std::function<void(Fake_Wasapi::Settings&)>, std::string>> cases{
            {[](auto& s) { s.held_by_another = true; }, "The sound card is currently being used in exclusive mode."},
            {[](auto& s) { s.create_enumerator = REGDB_E_CLASSNOTREG; },
             "Could not create the multimedia device enumerator instance."},
            {[](auto& s) { s.has_endpoint = false; }, "Could not get the default audio device."},
            {[](auto& s) { s.activate = E_NOINTERFACE; }, "Could not activate the default audio device."},
            {[](auto& s) { s.raw_unsupported = true; }, "Your OS does not support raw audio streams."},
            {[](auto& s) { s.get_service = E_NOINTERFACE; }, "Could not initialize the audio render client."},
            {[](auto& s) { s.set_event_handle = E_INVALIDARG; }, "Could not create the fill buffer event."},
            {[](auto& s) { s.start = AUDCLNT_E_DEVICE_INVALIDATED; }, "Could not start the audio client."},
            {[](auto& s) { s.stall_after_events = 3; }, "The sound card stopped requesting audio."},
        };
        for (const auto& [setup, message] : cases)
        {
            Fake_Wasapi::Settings settings;
            setup(settings);
            EXPECT_EXIT(play_until_fatal(settings), testing::ExitedWithCode(1), box(message)) << message;
        }
        Fake_Wasapi::Settings neither;
        neither.refuse_packed = neither.refuse_padded = true;
        EXPECT_EXIT(play_until_fatal(neither, 192000), testing::ExitedWithCode(1),
                    box("Your sound card does not support 192000Hz 24bit stereo playback."));
    }
}
