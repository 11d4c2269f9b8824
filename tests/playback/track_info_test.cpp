// The footer's description line: name part from the library path, then size, layout, rate,
// depth, factor and volume, always with "." as decimal point.
#include "playback_test.h"

#include <locale>

namespace
{
    using namespace Playback_Test;

    std::shared_ptr<Corvane::File> node(const std::string& name, std::shared_ptr<Corvane::File> parent,
                                        Corvane::File::Type type = Corvane::File::FOLDER)
    {
        auto file = std::make_shared<Corvane::File>();
        file->name = name;
        file->type = type;
        file->parent = std::move(parent);
        return file;
    }

    class Track_Info : public testing::Test
    {
    protected:
        Track_Info()
        {
            auto root = node("", nullptr);
            track.file = node("01 Song.flac", node("Album", node("Artist", root)), Corvane::File::TRACK);
            track.file_size = 25431234;
            track.channels = 2;
            track.sample_rate = 44100;
            track.bits_per_sample = 16;
            track.peak = 1.0;
            track.volume = 0.03;
        }

        Corvane::Track track{nullptr};
    };

    TEST_F(Track_Info, DescribesAStereoTrackInTheLibrary)
    {
        EXPECT_EQ(track.get_info(), "Artist - Album - 01 Song : 24.253MB Stereo 44100Hz 16bit 1.000N 3%");
    }

    TEST_F(Track_Info, SaysLoadingWhileALoadRuns)
    {
        track.loading = true;
        EXPECT_EQ(track.get_info(), "Loading");
    }

    TEST_F(Track_Info, ShowsTheFactorThatIsApplied)
    {
        const std::vector<std::pair<double, std::string>> cases{
            {0.5, "2.000N"}, {0.8, "1.250N"}, {0.95, "1.000N"}, {0.0, "1.000N"}, {1.2, "0.833N"}};
        for (const auto& [peak, text] : cases)
        {
            track.peak = peak;
            EXPECT_NE(track.get_info().find(" 16bit " + text + " 3%"), std::string::npos)
                << peak << ": " << track.get_info();
        }
    }

    TEST_F(Track_Info, SurroundHiResTrackShowsLayoutRateAndDepth)
    {
        track.channels = 6;
        track.sample_rate = 96000;
        track.bits_per_sample = 24;
        EXPECT_EQ(track.get_info(), "Artist - Album - 01 Song : 24.253MB 5.1 96000Hz 24bit 1.000N 3%");
    }

    TEST_F(Track_Info, DropsTheTracksExtensionButKeepsDotsInFolderNames)
    {
        auto root = node("", nullptr);
        track.file = node("Intro", node("Vol. 2", node("Live.at.home.2001", root)), Corvane::File::TRACK);
        track.file_size = 1048576;
        EXPECT_EQ(track.get_info(), "Live.at.home.2001 - Vol. 2 - Intro : 1.000MB Stereo 44100Hz 16bit 1.000N 3%");
        track.file = node("Top.flac", root, Corvane::File::TRACK);
        EXPECT_EQ(track.get_info().substr(0, 18), "Top : 1.000MB Ster");
    }

    TEST_F(Track_Info, RoundsTheVolumeToWholePercent)
    {
        const std::vector<std::pair<double, std::string>> cases{
            {1.0, "100%"}, {0.455, "46%"}, {0.0, "0%"}, {0.004, "0%"}, {0.005, "1%"}};
        for (const auto& [volume, text] : cases)
        {
            track.volume = volume;
            const std::string info = track.get_info();
            EXPECT_EQ(info.substr(info.rfind(' ') + 1), text) << volume;
        }
    }

    // A user's locale with a decimal comma and digit groups must not leak into the line.
    TEST_F(Track_Info, IgnoresTheGlobalLocale)
    {
        struct Comma : std::numpunct<char>
        {
            char do_decimal_point() const override { return ','; }
            char do_thousands_sep() const override { return '.'; }
            std::string do_grouping() const override { return "\3"; }
        };
        const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Comma));
        const std::string info = track.get_info();
        std::locale::global(previous);
        EXPECT_EQ(info, "Artist - Album - 01 Song : 24.253MB Stereo 44100Hz 16bit 1.000N 3%");
    }
}
