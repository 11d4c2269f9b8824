// The Windows build, corvane.exe, under Wine on the test display: its window, its browser
// and waveform, its keys and clicks, its error boxes and exit codes, and a folder named
// beyond ASCII. Runs when CORVANE_WINDOWS_BUILD names the Windows build folder (which
// tools/test-windows.sh sets, with a private WINEPREFIX); skipped otherwise.
//
// Wine's sound is ALSA's: a test points it at ALSA's null device, on which Wine's WASAPI
// answers an exclusive, event-driven stream with "device in use", so a track that reaches
// the sound card ends in the busy box. The box's text is read under the same Wine by a small
// Windows helper, which also presses OK.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "e2e/e2e_support.h"
#include "e2e/player_session.h"

namespace
{
    using namespace E2e;

    std::filesystem::path windows_build()
    {
        const char* folder = std::getenv("CORVANE_WINDOWS_BUILD");
        return folder ? folder : "";
    }

    // Wine's view of the sound card: ALSA's null device and nothing else.
    std::string null_sound_card(const std::filesystem::path& folder)
    {
        const auto config = folder / "asound.conf";
        std::ofstream(config) << "pcm.!default {\n    type null\n}\n";
        return "ALSA_CONFIG_PATH=" + config.string();
    }

    struct Windows_Player
    {
        explicit Windows_Player(const std::filesystem::path& music)
            : process(music, {null_sound_card(card.path)}, {"wine", (windows_build() / "corvane.exe").string()})
        {
        }

        // The text of the error box and its rectangle, OK pressed; empty when none appeared.
        std::string read_box()
        {
            return run("wine '" + (windows_build() / "tests" / "corvane_read_box.exe").string() + "' 2>/dev/null");
        }

        Temporary_Folder card;
        Player_Process process;
    };

    class Windows_End_To_End : public testing::Test
    {
    protected:
        void SetUp() override
        {
            if (windows_build().empty())
                GTEST_SKIP() << "CORVANE_WINDOWS_BUILD is not set (tools/test-windows.sh sets it)";
        }
    };

    bool shows(const std::string& window, const std::function<bool(const Screenshot&)>& condition, Screenshot& shot)
    {
        return poll(
            [&]
            {
                shot = take_screenshot(window);
                return condition(shot);
            },
            15.0);
    }

    TEST_F(Windows_End_To_End, OpensCentredDrawsTheBrowserTogglesTheWaveformAndQuitsOnEscape)
    {
        Temporary_Folder music;
        write_track(music.path / "Björk 日本語" / "Jóga.flac", 2.0, 440.0);
        write_track(music.path / "Welcome.flac", 2.0, 440.0);
        Windows_Player player(music.path);
        const std::string window = find_window("Corvane", 30.0);
        ASSERT_FALSE(window.empty()) << "no window named Corvane appeared";
        const Geometry screen = screen_geometry();
        const Geometry geometry = window_geometry(window);
        EXPECT_EQ(geometry.width, 333);
        EXPECT_EQ(geometry.height, 666);
        EXPECT_EQ(geometry.x, screen.width / 2 - 333 / 2);
        EXPECT_EQ(geometry.y, screen.height / 2 - 666 / 2);
        park_pointer();

        Screenshot shot;
        ASSERT_TRUE(shows(
            window, [](const Screenshot& s) { return browser_lines(s).size() == 2; }, shot))
            << browser_lines(shot).size() << " lines";
        // Nothing plays: the waveform is one flat line across the whole window.
        press_key(window, "x");
        ASSERT_TRUE(shows(
            window,
            [](const Screenshot& s)
            {
                const auto lines = browser_lines(s);
                return lines.size() == 1 && lines[0].columns.width() >= s.width - 2;
            },
            shot))
            << "no flat waveform; " << browser_lines(shot).size() << " lines";
        press_key(window, "x");
        ASSERT_TRUE(shows(
            window, [](const Screenshot& s) { return browser_lines(s).size() == 2; }, shot))
            << "back in the browser: " << browser_lines(shot).size() << " lines";

        press_key(window, "Escape");
        const auto code = player.process.wait_exit(20.0);
        ASSERT_TRUE(code.has_value()) << "still running twenty seconds after Escape";
        EXPECT_EQ(*code, 0);
    }

    // The folder named beyond ASCII opens, and its track is read through its wide path: what
    // stops it is the sound card, not a file that could not be found.
    TEST_F(Windows_End_To_End, ATrackInAFolderNamedBeyondAsciiReachesTheSoundCard)
    {
        Temporary_Folder music;
        write_track(music.path / "Björk 日本語" / "Jóga.flac", 2.0, 440.0);
        Windows_Player player(music.path);
        const std::string window = find_window("Corvane", 30.0);
        ASSERT_FALSE(window.empty()) << "no window named Corvane appeared";
        park_pointer();
        Screenshot shot;
        ASSERT_TRUE(shows(
            window, [](const Screenshot& s) { return browser_lines(s).size() == 1; }, shot));
        const Text_Line folder = browser_lines(shot)[0];
        click(window, folder.centre_x(), folder.centre_y());
        park_pointer();
        // The open folder's own line, then its track.
        ASSERT_TRUE(shows(
            window, [](const Screenshot& s) { return browser_lines(s).size() == 2; }, shot));
        const Text_Line track = browser_lines(shot)[1];
        click(window, track.centre_x(), track.centre_y());

        const std::string box = player.read_box();
        EXPECT_EQ(box.substr(0, box.find('\n')), "The sound card is currently being used in exclusive mode.");
        const auto code = player.process.wait_exit(20.0);
        ASSERT_TRUE(code.has_value()) << "still running twenty seconds after the box";
        EXPECT_EQ(*code, 1);
    }

    TEST_F(Windows_End_To_End, AFolderWithoutMusicShowsTheCentredBoxAndExitsWithOne)
    {
        Temporary_Folder music;
        std::ofstream(music.path / "notes.txt") << "no music here";
        Windows_Player player(music.path);
        const std::string box = player.read_box();
        ASSERT_FALSE(box.empty()) << "no error box appeared";
        const size_t line = box.find('\n');
        EXPECT_EQ(box.substr(0, line), "Could not find any FLAC files in this directory. Place Corvane in the "
                                       "directory that contains your music.");
        int left = 0, top = 0, right = 0, bottom = 0;
        ASSERT_EQ(std::sscanf(box.c_str() + line + 1, "%d %d %d %d", &left, &top, &right, &bottom), 4);
        const Geometry screen = screen_geometry();
        EXPECT_EQ(left, screen.width / 2 - (right - left) / 2);
        EXPECT_EQ(top, screen.height / 2 - (bottom - top) / 2);
        const auto code = player.process.wait_exit(20.0);
        ASSERT_TRUE(code.has_value()) << "still running twenty seconds after the box";
        EXPECT_EQ(*code, 1);
    }
}
