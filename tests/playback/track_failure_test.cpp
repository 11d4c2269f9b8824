// Tracks that cannot be played end the program with one clear box and exit code 1: formats
// we do not play, damaged files, files that are not FLAC or not there. None may leave the
// player loading for ever.
#include "playback_test.h"

#include <regex>

namespace
{
    using namespace Playback_Test;
    using Track_Failure = Playback;

    // The message exactly, as the message-box double echoes it.
    std::string box(const std::string& message)
    {
        static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
        return "\\[Corvane Error\\] " + std::regex_replace(message, special, R"(\$&)") + "\n";
    }

    // `decoders`: the most decoder threads, each taking 20,000 frames or more; 0 as the
    // player runs.
    [[noreturn]] void load_until_fatal(std::shared_ptr<Corvane::File> file, uint32_t decoders = 0)
    {
        Corvane::Track track(nullptr);
        if (decoders)
        {
            track.decoder_limit = decoders;
            track.frames_per_decoder = 20000;
        }
        track.load(std::move(file));
        std::this_thread::sleep_for(30s);
        std::exit(0); // no box came: the death test fails on the exit code
    }

    const char* const not_stereo = "This track is in an unsupported format. It is not stereo or 5.1.";
    const char* const not_16_24 = "This track is in an unsupported format. It is not 16 or 24 bit.";

    Flac_Fixture::Options format(uint32_t channels, uint32_t bits)
    {
        Flac_Fixture::Options options;
        options.channels = channels;
        options.bits = bits;
        options.seconds = 0.05;
        return options;
    }

    TEST_F(Track_Failure, ChannelCountsOtherThanStereoOrSurroundAreRefused)
    {
        for (uint32_t channels : {1u, 3u, 4u, 5u, 7u, 8u})
            EXPECT_EXIT(load_until_fatal(folder.tone("c.flac", format(channels, 16))), testing::ExitedWithCode(1),
                        box(not_stereo))
                << channels;
    }

    TEST_F(Track_Failure, BitDepthsOtherThanSixteenOrTwentyFourAreRefused)
    {
        for (uint32_t bits : {8u, 12u, 20u, 32u})
            EXPECT_EXIT(load_until_fatal(folder.tone("b.flac", format(2, bits))), testing::ExitedWithCode(1),
                        box(not_16_24))
                << bits;
        EXPECT_EXIT(load_until_fatal(folder.tone("s.flac", format(6, 20))), testing::ExitedWithCode(1), box(not_16_24));
    }

    TEST_F(Track_Failure, MonoEightBitReportsTheChannelsFirst)
    {
        EXPECT_EXIT(load_until_fatal(folder.tone("m.flac", format(1, 8))), testing::ExitedWithCode(1), box(not_stereo));
    }

    TEST_F(Track_Failure, CorruptedFrameNamesTheFileAndTheDecoderStatus)
    {
        Flac_Fixture::Options options;
        options.seconds = 0.5;
        const auto frames = Flac_Fixture::write_tone("Bad Song.flac", options);
        Flac_Fixture::corrupt_frame_checksum("Bad Song.flac", frames, 2);
        EXPECT_EXIT(
            load_until_fatal(folder.track("Bad Song.flac")), testing::ExitedWithCode(1),
            box("Error decoding \"Bad Song.flac\". Error: FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH"));

        // The same fault late in a track that is split between decoder threads.
        Flac_Fixture::Options music;
        music.seconds = 2.0;
        music = Flac_Fixture::flac_defaults(music);
        const auto music_frames = Flac_Fixture::write_music("Late Fault.flac", music);
        Flac_Fixture::corrupt_frame_checksum("Late Fault.flac", music_frames, music_frames.size() * 3 / 4);
        EXPECT_EXIT(
            load_until_fatal(folder.track("Late Fault.flac"), 4), testing::ExitedWithCode(1),
            box("Error decoding \"Late Fault.flac\". Error: FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH"));
    }

    TEST_F(Track_Failure, FileCutInsideAFrameLosesSync)
    {
        Flac_Fixture::Options options;
        options.seconds = 0.5;
        const auto frames = Flac_Fixture::write_tone("cut.flac", options);
        Flac_Fixture::truncate("cut.flac", (frames[2] + frames[3]) / 2);
        EXPECT_EXIT(load_until_fatal(folder.track("cut.flac")), testing::ExitedWithCode(1),
                    box("Error decoding \"cut.flac\". Error: FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC"));
    }

    // No callback hears of these: the decoder just stops. They must still be reported.
    TEST_F(Track_Failure, FileCutInsideTheHeaderOrEmptyIsReportedByDecoderState)
    {
        Flac_Fixture::write_tone("header.flac", format(2, 16));
        Flac_Fixture::truncate("header.flac", 20);
        EXPECT_EXIT(load_until_fatal(folder.track("header.flac")), testing::ExitedWithCode(1),
                    box("Error decoding \"header.flac\". Error: FLAC__STREAM_DECODER_END_OF_STREAM"));
        Flac_Fixture::truncate("header.flac", 0);
        EXPECT_EXIT(load_until_fatal(folder.track("header.flac")), testing::ExitedWithCode(1),
                    box("Error decoding \"header.flac\". Error: FLAC__STREAM_DECODER_END_OF_STREAM"));
    }

    TEST_F(Track_Failure, TextFileIsNotMusic)
    {
        Flac_Fixture::write_not_flac("notes.flac");
        EXPECT_EXIT(load_until_fatal(folder.track("notes.flac")), testing::ExitedWithCode(1),
                    box("Error decoding \"notes.flac\". Error: FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC"));
    }

    TEST_F(Track_Failure, MissingFileNamesItsPath)
    {
        auto album = std::make_shared<Corvane::File>();
        album->name = "Album";
        album->parent = folder.node;
        auto file = folder.track("gone.flac");
        file->parent = album;
        EXPECT_EXIT(load_until_fatal(file), testing::ExitedWithCode(1), box("Could not load \"Album/gone.flac\"."));
    }
}
