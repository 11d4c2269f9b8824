// The ALSA device for real, against the tests' virtual sound card: bytes written come back
// unchanged in both layouts, every refusal maps to its result, waits time out on a stalled
// card, and underruns and suspends are recovered without the caller noticing.
#include "platform/audio_device.h"
#include "platform/realtime.h"
#include "sound_card/sound_card.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

using Platform::Audio_Device;
using Platform::Audio_Result;
using Platform::Audio_Wait;

namespace
{
    constexpr int generous_timeout_ms = 2000;

    struct Audio_Device_Test : testing::Test
    {
        Test_Support::Temp_Folder scratch{"corvane-audio"};
        std::string root = scratch.path.string();
        Corvane::Test_Sound_Card card;

        Audio_Device_Test() { card.folder = root + "/card"; }

        // Writes the card and points ALSA at it; ALSA reloads when the path changes.
        void use_card()
        {
            card.write();
            setenv("ALSA_CONFIG_PATH", card.config_path().c_str(), 1);
        }

        void use_config(const std::string& text)
        {
            const std::string path = root + "/custom.conf";
            std::ofstream(path) << text;
            setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
        }

        std::vector<std::string> events() const { return Corvane::read_lines(card.log_path()); }

        bool logged(const std::string& event) const
        {
            const auto lines = events();
            return std::find(lines.begin(), lines.end(), event) != lines.end();
        }
    };

    // Opens and sets up a stream the way the play thread does.
    void open_stream(Audio_Device& device, uint32_t rate, bool padded)
    {
        ASSERT_EQ(device.open(), Audio_Result::ok);
        ASSERT_EQ(device.test_format(rate, padded), Audio_Result::ok);
        ASSERT_EQ(device.initialize(rate, padded, device.minimum_period(rate)), Audio_Result::ok);
        ASSERT_GT(device.buffer_frames(), 0u);
    }

    // Fills the next buffer with bytes no other buffer holds in that order and returns them.
    std::vector<uint8_t> fill_buffer(Audio_Device& device, size_t bytes, std::mt19937& random)
    {
        uint8_t* buffer = device.get_buffer();
        EXPECT_NE(buffer, nullptr);
        std::vector<uint8_t> written(bytes);
        for (auto& byte : written)
            byte = uint8_t(random());
        std::copy(written.begin(), written.end(), buffer);
        return written;
    }

    // Primes one silent buffer, starts, then renders `buffers` buffers; returns every byte
    // handed to the device, the silent one included.
    std::vector<uint8_t> play(Audio_Device& device, bool padded, int buffers)
    {
        const size_t bytes = size_t(device.buffer_frames()) * (padded ? 8 : 6);
        std::mt19937 random(buffers);
        std::vector<uint8_t> all(bytes, 0);
        EXPECT_NE(device.get_buffer(), nullptr);
        EXPECT_TRUE(device.release_buffer(true));
        EXPECT_TRUE(device.start());
        for (int i = 0; i < buffers; ++i)
        {
            EXPECT_EQ(device.wait(generous_timeout_ms), Audio_Wait::due);
            const auto written = fill_buffer(device, bytes, random);
            EXPECT_TRUE(device.release_buffer(false));
            all.insert(all.end(), written.begin(), written.end());
        }
        return all;
    }

    struct Layout_Test : Audio_Device_Test, testing::WithParamInterface<bool>
    {
    };
}

TEST_P(Layout_Test, FileCardReadsBackTheBytesReleased)
{
    const bool padded = GetParam();
    card.sink = Corvane::Test_Sound_Card::Sink::file;
    use_card();
    std::vector<uint8_t> expected;
    {
        Audio_Device device;
        open_stream(device, 44100, padded);
        expected = play(device, padded, 12);
        device.stop();
    }
    EXPECT_EQ(Corvane::read_bytes(card.capture_path()), expected);
}

TEST_P(Layout_Test, PacedCardReadsBackTheBytesReleasedInTheRequestedLayout)
{
    const bool padded = GetParam();
    use_card();
    std::vector<uint8_t> expected;
    {
        Audio_Device device;
        open_stream(device, 96000, padded);
        expected = play(device, padded, 6);
        device.stop();
    }
    EXPECT_EQ(Corvane::read_bytes(card.capture_path()), expected);
    // 20 ms periods at 96 kHz, two of them in the buffer.
    EXPECT_TRUE(logged(std::string("hw_params 96000 ") + (padded ? "S32_LE" : "S24_3LE") + " 2 1920 3840"));
}

// A card whose buffer must hold more than two periods still has only two buffers queued, as
// the play thread expects: the two silent buffers that end a run leave no music behind them
// for the stop to throw away (the end of a track, the tail of a pause's fade).
TEST_F(Audio_Device_Test, CardThatRefusesTwoPeriodsStillQueuesOnlyTwoBuffers)
{
    card.min_periods = 4;
    use_card();
    {
        Audio_Device device;
        open_stream(device, 44100, false);
        play(device, false, 10);
        for (int i = 0; i < 2; ++i)
        {
            ASSERT_EQ(device.wait(generous_timeout_ms), Audio_Wait::due);
            ASSERT_TRUE(device.release_buffer(true));
        }
        device.stop();
    }
    ASSERT_TRUE(logged("hw_params 44100 S24_3LE 2 882 3528")); // four 20 ms periods
    const auto lines = events();
    const auto stop = std::find_if(lines.begin(), lines.end(), [](const std::string& line)
                                   { return line.rfind("stop ", 0) == 0; });
    ASSERT_NE(stop, lines.end());
    EXPECT_LE(std::stoll(stop->substr(5)), 2 * 882) << *stop;
}

INSTANTIATE_TEST_SUITE_P(Layouts, Layout_Test, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& layout)
                         { return layout.param ? "FourBytes" : "ThreeBytes"; });

TEST_F(Audio_Device_Test, SilentBufferPlaysZerosWhateverItHolds)
{
    use_card();
    {
        Audio_Device device;
        open_stream(device, 44100, false);
        const size_t bytes = size_t(device.buffer_frames()) * 6;
        std::fill_n(device.get_buffer(), bytes, uint8_t(0x5A));
        ASSERT_TRUE(device.release_buffer(true));
        std::fill_n(device.get_buffer(), bytes, uint8_t(0x5A));
        ASSERT_TRUE(device.release_buffer(false));
    }
    const auto captured = Corvane::read_bytes(card.capture_path());
    ASSERT_EQ(captured.size() % 2, 0u);
    const auto half = captured.begin() + long(captured.size() / 2);
    EXPECT_TRUE(std::all_of(captured.begin(), half, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(half, captured.end(), [](uint8_t b) { return b == 0x5A; }));
}

TEST_F(Audio_Device_Test, BusyCardIsInUse)
{
    card.busy = true;
    use_card();
    Audio_Device device;
    EXPECT_EQ(device.open(), Audio_Result::device_in_use);
    // What ALSA said, for standard error beside the user's message.
    EXPECT_EQ(device.failure, std::string("snd_pcm_open: ") + snd_strerror(-EBUSY));
}

TEST_F(Audio_Device_Test, CardTakenByAnotherProgramOrHandleIsInUseUntilReleased)
{
    use_card();
    std::ofstream(card.busy_path()).put('1');
    {
        Audio_Device device;
        EXPECT_EQ(device.open(), Audio_Result::device_in_use);
    }
    std::filesystem::remove(card.busy_path());
    auto device = std::make_unique<Audio_Device>();
    EXPECT_EQ(device->open(), Audio_Result::ok);
    // One substream: a second handle is refused until the first is closed.
    Audio_Device second;
    EXPECT_EQ(second.open(), Audio_Result::device_in_use);
    device.reset();
    Audio_Device third;
    EXPECT_EQ(third.open(), Audio_Result::ok);
}

TEST_F(Audio_Device_Test, MissingCardIsNoDevice)
{
    // Card 31 never exists here; without /dev/snd no card does.
    if (std::filesystem::exists("/dev/snd/controlC31"))
        GTEST_SKIP() << "this machine has a card 31";
    use_config("pcm.!hw { @args [ CARD ] @args.CARD { type string default \"31\" } type hw card $CARD }\n");
    Audio_Device device;
    EXPECT_EQ(device.open(), Audio_Result::no_device);
}

TEST_F(Audio_Device_Test, ConfigurationWithoutHwDeviceIsNoDevice)
{
    use_config("pcm.!null { type null }\n");
    Audio_Device device;
    EXPECT_EQ(device.open(), Audio_Result::no_device);
}

TEST_F(Audio_Device_Test, RefusedLayoutIsUnsupportedAndTheOtherStillPlays)
{
    card.formats = "S32_LE";
    use_card();
    Audio_Device device;
    ASSERT_EQ(device.open(), Audio_Result::ok);
    EXPECT_EQ(device.test_format(44100, false), Audio_Result::unsupported_format);
    EXPECT_EQ(device.initialize(44100, false, 200000), Audio_Result::unsupported_format);
    EXPECT_EQ(device.test_format(44100, true), Audio_Result::ok);
    EXPECT_EQ(device.initialize(44100, true, device.minimum_period(44100)), Audio_Result::ok);
}

TEST_F(Audio_Device_Test, CardWithNeitherLayoutRefusesBoth)
{
    card.formats = "S16_LE";
    use_card();
    Audio_Device device;
    ASSERT_EQ(device.open(), Audio_Result::ok);
    EXPECT_EQ(device.test_format(192000, false), Audio_Result::unsupported_format);
    EXPECT_EQ(device.test_format(192000, true), Audio_Result::unsupported_format);
    EXPECT_NE(device.failure.find("snd_pcm_hw_params (format and rate): "), std::string::npos) << device.failure;
}

TEST_F(Audio_Device_Test, RefusedRateIsUnsupportedWithoutResampling)
{
    card.rates = "44100 48000";
    use_card();
    Audio_Device device;
    ASSERT_EQ(device.open(), Audio_Result::ok);
    EXPECT_EQ(device.test_format(192000, false), Audio_Result::unsupported_format);
    EXPECT_EQ(device.test_format(192000, true), Audio_Result::unsupported_format);
    EXPECT_EQ(device.test_format(44099, false), Audio_Result::unsupported_format);
    EXPECT_EQ(device.initialize(96000, false, 200000), Audio_Result::unsupported_format);
    EXPECT_EQ(device.test_format(48000, false), Audio_Result::ok);
}

TEST_F(Audio_Device_Test, MinimumPeriodIsTheFloorOrTheCardsOwnIfLonger)
{
    use_card();
    {
        Audio_Device device;
        ASSERT_EQ(device.open(), Audio_Result::ok);
        ASSERT_EQ(device.test_format(44100, false), Audio_Result::ok);
        EXPECT_EQ(device.minimum_period(44100), 200000); // the card allows far less
    }
    card.folder = root + "/long";
    card.min_period_bytes = 2400 * 8; // 50 ms at 48 kHz in 4-byte frames
    use_card();
    Audio_Device device;
    ASSERT_EQ(device.open(), Audio_Result::ok);
    ASSERT_EQ(device.test_format(48000, true), Audio_Result::ok);
    const int64_t period = device.minimum_period(48000);
    EXPECT_EQ(period, 500000);
    ASSERT_EQ(device.initialize(48000, true, period), Audio_Result::ok);
    EXPECT_EQ(device.buffer_frames(), 2400u);
    EXPECT_TRUE(logged("hw_params 48000 S32_LE 2 2400 4800"));
}

TEST_F(Audio_Device_Test, PacedCardKeepsTheStreamsTime)
{
    use_card();
    Audio_Device device;
    open_stream(device, 44100, false);
    const auto begin = std::chrono::steady_clock::now();
    play(device, false, 27); // 27 x 20 ms after the two queued periods start draining
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    // At least 25 periods must have been played out before the 27th was due.
    EXPECT_GE(seconds, 0.45);
}

TEST_F(Audio_Device_Test, WaitTimesOutOnACardThatStallsAtOnce)
{
    card.stall_after = 0;
    use_card();
    Audio_Device device;
    open_stream(device, 44100, false);
    ASSERT_TRUE(device.release_buffer(true));
    ASSERT_TRUE(device.start());
    EXPECT_EQ(device.wait(generous_timeout_ms), Audio_Wait::due); // room for the second period
    ASSERT_TRUE(device.release_buffer(false));
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(device.wait(150), Audio_Wait::timed_out);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(140));
    EXPECT_TRUE(logged("stall"));
}

TEST_F(Audio_Device_Test, WaitTimesOutOnceTheCardHasPlayedItsStallPoint)
{
    card.stall_after = 3 * 882; // three 20 ms periods at 44.1 kHz
    use_card();
    Audio_Device device;
    open_stream(device, 44100, false);
    ASSERT_TRUE(device.release_buffer(true));
    ASSERT_TRUE(device.start());
    int dues = 0;
    Audio_Wait result;
    while ((result = device.wait(300)) == Audio_Wait::due && dues < 50)
    {
        ++dues;
        ASSERT_TRUE(device.release_buffer(true));
    }
    EXPECT_EQ(result, Audio_Wait::timed_out);
    EXPECT_GE(dues, 4); // three played and two queued, the primed one among them
    EXPECT_TRUE(logged("stall"));
}

TEST_F(Audio_Device_Test, WaitTimesOutWhenARunningCardStalls)
{
    use_card();
    Audio_Device device;
    open_stream(device, 48000, true);
    play(device, true, 5);
    std::ofstream(card.stall_path()).put('1');
    int dues = 0;
    Audio_Wait result;
    while ((result = device.wait(200)) == Audio_Wait::due && dues < 10)
    {
        ++dues;
        ASSERT_TRUE(device.release_buffer(true));
    }
    EXPECT_EQ(result, Audio_Wait::timed_out);
    EXPECT_LE(dues, 2); // at most the periods already free when it stalled
    device.stop();
    EXPECT_TRUE(logged("stall"));
}

TEST_F(Audio_Device_Test, UnderrunIsRecoveredAndTheStreamRestartsByItself)
{
    use_card();
    std::vector<uint8_t> expected;
    {
        Audio_Device device;
        open_stream(device, 44100, false);
        expected = play(device, false, 3);
        // Nothing written for well over the buffer's 40 ms: the card runs dry.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const size_t bytes = size_t(device.buffer_frames()) * 6;
        std::mt19937 random(99);
        // No second start: once both periods are queued again the stream runs, or the
        // third wait would time out.
        for (int i = 0; i < 8; ++i)
        {
            ASSERT_EQ(device.wait(generous_timeout_ms), Audio_Wait::due);
            const auto written = fill_buffer(device, bytes, random);
            ASSERT_TRUE(device.release_buffer(false));
            expected.insert(expected.end(), written.begin(), written.end());
        }
        device.stop();
    }
    const auto lines = events();
    const auto xrun = std::find(lines.begin(), lines.end(), "xrun");
    ASSERT_NE(xrun, lines.end());
    const auto prepare = std::find(xrun, lines.end(), "prepare");
    ASSERT_NE(prepare, lines.end());
    EXPECT_NE(std::find(prepare, lines.end(), "start"), lines.end());
    EXPECT_EQ(Corvane::read_bytes(card.capture_path()), expected);
}

TEST_F(Audio_Device_Test, UnderrunMetWhileWritingIsRecovered)
{
    use_card();
    Audio_Device device;
    open_stream(device, 44100, false);
    play(device, false, 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    // The card notices the underrun on this write; the write still goes through.
    EXPECT_TRUE(device.release_buffer(false));
    EXPECT_EQ(device.wait(generous_timeout_ms), Audio_Wait::due);
    EXPECT_TRUE(logged("xrun"));
}

TEST_F(Audio_Device_Test, SuspendIsResumed)
{
    use_card();
    Audio_Device device;
    open_stream(device, 44100, false);
    play(device, false, 3);
    std::ofstream(card.suspend_path()).put('1');
    for (int i = 0; i < 5; ++i)
    {
        ASSERT_EQ(device.wait(generous_timeout_ms), Audio_Wait::due);
        ASSERT_TRUE(device.release_buffer(true));
    }
    EXPECT_TRUE(logged("suspend"));
    EXPECT_TRUE(logged("resume"));
    EXPECT_FALSE(std::filesystem::exists(card.suspend_path()));
}

// The play thread's own pattern: its own thread, real-time class when granted, the stream
// opened and driven there.
TEST_F(Audio_Device_Test, PlayThreadInRealtimeClassRendersEveryBuffer)
{
    use_card();
    std::vector<uint8_t> expected;
    bool entered = false;
    std::thread play_thread(
        [&]
        {
            entered = Platform::enter_realtime_class();
            Audio_Device device;
            open_stream(device, 44100, true);
            expected = play(device, true, 10);
            device.stop();
            Platform::leave_realtime_class();
        });
    play_thread.join();
    EXPECT_EQ(Corvane::read_bytes(card.capture_path()), expected)
        << "real-time class " << (entered ? "granted" : "refused");
}
