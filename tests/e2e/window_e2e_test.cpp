// The real executable: its window appears centred, borderless and of the player's size, and
// Escape takes the window away at once and ends the process with exit code 0. The exit
// itself gets more time: under the sanitizers it takes most of a second (Release: ~30 ms).
#include <gtest/gtest.h>

#include <fstream>

#include "e2e/e2e_support.h"

namespace
{
    TEST(Window_End_To_End, OpensCentredBorderlessAndQuitsOnEscape)
    {
        E2e::Temporary_Folder music;
        std::ofstream(music.path / "song.flac") << "only its name matters until it is played";

        E2e::Player_Process player(music.path);
        const std::string window = E2e::find_window("Corvane", 10.0);
        ASSERT_FALSE(window.empty()) << "no window named Corvane appeared";

        const E2e::Geometry screen = E2e::screen_geometry();
        const E2e::Geometry geometry = E2e::window_geometry(window);
        EXPECT_EQ(geometry.width, 333);
        EXPECT_EQ(geometry.height, 666);
        EXPECT_EQ(geometry.x, screen.width / 2 - 333 / 2);
        EXPECT_EQ(geometry.y, screen.height / 2 - 666 / 2);
        // Borderless: the Motif hints ask for no decorations (flags 2, decorations 0).
        EXPECT_NE(E2e::run("xprop -id " + window + " _MOTIF_WM_HINTS").find("0x2, 0x0"), std::string::npos);

        E2e::press_key(window, "Escape");
        EXPECT_TRUE(E2e::poll([] { return E2e::find_window("Corvane", 0.0).empty(); }, 1.0))
            << "window still shown a second after Escape";
        const auto code = player.wait_exit(10.0);
        ASSERT_TRUE(code.has_value()) << "still running ten seconds after Escape";
        EXPECT_EQ(*code, 0);
    }
}
