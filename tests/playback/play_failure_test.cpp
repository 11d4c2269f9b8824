// Every way the sound card can refuse or fail ends the program with its own box and exit
// code 1, never with a hang: a device that stops asking for data is given up on.
#include "playback_test.h"

#include <regex>

namespace
{
    using namespace Playback_Test;
    using Platform::Audio_Result;
    using Play_Failure = Playback;

    std::string box(const std::string& message)
    {
        static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
        return "\\[Corvane Error\\] " + std::regex_replace(message, special, R"(\$&)") + "\n";
    }

    // Plays a short track on a device with `settings` and waits for the box.
    void play_until_fatal(Music_Folder& folder, const Memory_Audio_Device::Settings& settings, uint32_t rate = 44100)
    {
        Memory_Audio_Device::reset(settings);
        Flac_Fixture::Options options;
        options.seconds = 0.3;
        options.sample_rate = rate;
        Corvane::Track track(nullptr);
        track.load(folder.tone("t.flac", options));
        std::this_thread::sleep_for(30s);
        std::exit(0);
    }

    TEST_F(Play_Failure, DeviceMissingBusyOrUnusableOnOpen)
    {
        const std::vector<std::pair<Audio_Result, std::string>> cases{
            {Audio_Result::no_device, "Could not get the default audio device."},
            {Audio_Result::device_in_use, "The sound card is currently being used in exclusive mode."},
            {Audio_Result::failed, "Could not activate the default audio device."}};
        for (const auto& [result, message] : cases)
        {
            Memory_Audio_Device::Settings settings;
            settings.open_result = result;
            // What the system said comes first, for a report to quote.
            EXPECT_EXIT(play_until_fatal(folder, settings), testing::ExitedWithCode(1),
                        "Corvane: open: refused by the test\n" + box(message))
                << message;
        }
    }

    TEST_F(Play_Failure, RateRefusedInBothLayoutsNamesTheRate)
    {
        Memory_Audio_Device::Settings settings;
        settings.refused_rates = {192000};
        EXPECT_EXIT(play_until_fatal(folder, settings, 192000), testing::ExitedWithCode(1),
                    box("Your sound card does not support 192000Hz 24bit stereo playback."));
    }

    TEST_F(Play_Failure, StreamThatCannotBeOpened)
    {
        const std::vector<std::pair<Audio_Result, std::string>> cases{
            {Audio_Result::device_in_use, "The sound card is currently being used in exclusive mode."},
            {Audio_Result::failed, "Could not initialize the audio client."},
            {Audio_Result::unsupported_format, "Could not initialize the audio client."}};
        for (const auto& [result, message] : cases)
        {
            Memory_Audio_Device::Settings settings;
            settings.initialize_result = result;
            EXPECT_EXIT(play_until_fatal(folder, settings), testing::ExitedWithCode(1), box(message)) << message;
        }
    }

    TEST_F(Play_Failure, BufferRefusedWhilePrimingOrRendering)
    {
        for (int at : {0, 5})
        {
            Memory_Audio_Device::Settings settings;
            settings.fail_get_buffer_at = at;
            EXPECT_EXIT(play_until_fatal(folder, settings), testing::ExitedWithCode(1),
                        box("Could not get an audio buffer."))
                << at;
            settings = {};
            settings.fail_release_at = at;
            EXPECT_EXIT(play_until_fatal(folder, settings), testing::ExitedWithCode(1),
                        box("Could not release an audio buffer."))
                << at;
        }
    }

    TEST_F(Play_Failure, StreamThatWillNotStart)
    {
        Memory_Audio_Device::Settings settings;
        settings.fail_start = true;
        EXPECT_EXIT(play_until_fatal(folder, settings), testing::ExitedWithCode(1),
                    box("Could not start the audio client."));
    }

    TEST_F(Play_Failure, DeviceThatStopsAskingForDataIsGivenUpOn)
    {
        Memory_Audio_Device::Settings settings;
        settings.stall_at_wait = 3;
        EXPECT_EXIT(play_until_fatal(folder, settings), testing::ExitedWithCode(1),
                    box("The sound card stopped requesting audio."));
    }

    TEST_F(Play_Failure, StreamThatBreaksBeyondRecovery)
    {
        Memory_Audio_Device::Settings settings;
        settings.fail_wait_at = 3;
        EXPECT_EXIT(play_until_fatal(folder, settings), testing::ExitedWithCode(1),
                    box("Could not recover the audio stream."));
    }
}
