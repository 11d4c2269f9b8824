// The real executable in generated libraries, driven with the mouse and keys under the test
// display and heard through the paced test card: the footer's states, a picked track played
// normalised and faded in, pause, the waveform view, next track, shuffle, the end of a track,
// Escape, and the error box of a folder without music. The card is borrowed from a sound
// server on a private session bus and given back on pause and exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "e2e/player_session.h"

namespace
{
    using namespace E2e;

    constexpr double volume = 0.03;       // the player's volume at start
    constexpr double start_fade = 0.25;   // seconds of the fade-in
    constexpr double sample_rate = 44100; // of every generated track
    constexpr int wide_window = 520;      // wide enough for a footer line with " Shuffle"

    bool near(int value, int wanted, int tolerance)
    {
        return std::abs(value - wanted) <= tolerance;
    }

    bool is_white(Rgb p)
    {
        return p.darkest() >= 250;
    }
    bool is_light_grey(Rgb p)
    {
        return near(p.r, 179, 3) && near(p.g, 179, 3) && near(p.b, 179, 3);
    }

    // Browser entry colours as their brightest pixel: white (path folders, the playing
    // track), light grey (folders), grey (tracks).
    bool shows_white(const Text_Line& line)
    {
        return line.brightest >= 245;
    }
    bool shows_grey(const Text_Line& line)
    {
        return near(line.brightest, 128, 8);
    }

    // What the player should give the card for frame `i` of `track`: the decoded sample,
    // normalised to the track's peak (times `factor`), times the gain of the start fade (a
    // linear rise to the volume over a quarter of a second), in 24 bits.
    double expected_start_sample(const Generated_Track& track, double factor, int64_t i, bool right)
    {
        const double gain = std::min(volume, double(i + 1) * volume / (sample_rate * start_fade));
        const double sample = track.samples[size_t(2 * i + (right ? 1 : 0))] / 32767.0;
        return sample * factor * gain * 8388607.0;
    }

    // Takes screenshots until `condition` holds for one; false after `seconds`, leaving the
    // last one in the temporary folder as corvane-e2e-failure.ppm to look at.
    bool screen_shows(const Player_Session& session, const std::function<bool(const Screenshot&)>& condition,
                      double seconds, Screenshot* last = nullptr)
    {
        Screenshot shot;
        const bool shown = poll(
            [&]
            {
                shot = take_screenshot(session.window);
                return shot.width > 0 && condition(shot);
            },
            seconds);
        if (last)
            *last = shot;
        if (!shown)
            shot.save_ppm(session.folder.path.parent_path() / "corvane-e2e-failure.ppm");
        return shown;
    }

    bool idle_strip(const Screenshot& shot)
    {
        return is_white(footer_background(shot));
    }
    bool playing_strip(const Screenshot& shot)
    {
        return is_light_grey(footer_background(shot));
    }

    // The browser of the main library: its three tracks, and which one is white.
    bool browser_highlights(const Screenshot& shot, int white_entry)
    {
        const std::vector<Text_Line> lines = browser_lines(shot);
        if (lines.size() != 3)
            return false;
        for (int i = 0; i < 3; ++i)
            if (i == white_entry ? !shows_white(lines[size_t(i)]) : !shows_grey(lines[size_t(i)]))
                return false;
        return true;
    }

    // True once the card has been given `seconds` more of sound, within `time_out` seconds.
    bool capture_grows(const Player_Session& session, double seconds, double time_out)
    {
        const int64_t target = captured_frames(session.card) + int64_t(seconds * sample_rate);
        return poll([&] { return captured_frames(session.card) >= target; }, time_out);
    }

    // The tone of the last quarter of a second that the card was given.
    double latest_tone(const Player_Session& session)
    {
        const Capture capture = read_capture(session.card);
        const int64_t count = int64_t(sample_rate / 4);
        if (int64_t(capture.left.size()) < count)
            return 0.0;
        return tone_frequency(capture.left, int64_t(capture.left.size()) - count, count, sample_rate);
    }

    TEST(Player_End_To_End, PlaysAPickedTrackPausesShowsTheWaveformStepsAndShuffles)
    {
        // As on a desktop: a sound server (WirePlumber's rank) holds the card until asked.
        Player_Session session;
        session.sound_server_priority = -20;
        write_track(session.music / "101.flac", 10.0, 441.0);
        const Generated_Track picked = write_track(session.music / "102.flac", 10.0, 882.0);
        write_track(session.music / "103.flac", 10.0, 1764.0);
        ASSERT_TRUE(session.start()) << "no window named Corvane appeared";
        resize_window(session.window, wide_window, 666);
        park_pointer();

        // Idle: a white strip and the three tracks, all grey, laid out for the new width
        // (until the player has seen the resize, the window holds the narrower picture).
        Screenshot shot;
        ASSERT_TRUE(screen_shows(
            session,
            [](const Screenshot& s)
            {
                const Span text = footer_text(s);
                const bool wide = s.width == wide_window && near((text.left + text.right) / 2, wide_window / 2, 3);
                return wide && idle_strip(s) && browser_highlights(s, -1);
            },
            10.0, &shot))
            << browser_lines(shot).size() << " lines";
        const int idle_text_width = footer_text(shot).width();

        // A click on the middle track plays it: the card receives a silent priming buffer,
        // then the track normalised to its peak and faded in to the volume.
        const Text_Line middle = browser_lines(shot)[1];
        click(session.window, middle.centre_x(), middle.centre_y());
        const int64_t checked = int64_t(sample_rate * (start_fade + 0.2));
        ASSERT_TRUE(poll(
            [&]
            {
                const int64_t period = period_frames(session.card);
                return period > 0 && captured_frames(session.card) >= period + checked;
            },
            10.0))
            << "the card received " << captured_frames(session.card) << " frames";
        park_pointer();
        const Capture capture = read_capture(session.card);
        const int64_t priming = period_frames(session.card);
        for (int64_t i = 0; i < priming; ++i)
            ASSERT_TRUE(capture.left[size_t(i)] == 0 && capture.right[size_t(i)] == 0) << "priming frame " << i;
        // The fade may start one frame sooner or later: allow that much of the rise.
        const double tolerance = 2.0 + volume * 8388607.0 / (sample_rate * start_fade);
        const double peak = picked.peak();
        const double factor = std::abs(1.0 - 1.0 / peak) < 0.1 ? 1.0 : 1.0 / peak;
        ASSERT_NEAR(factor, 2.0, 0.01) << "a half-scale tone is doubled";
        for (int64_t i = 0; i < checked; ++i)
        {
            const size_t at = size_t(priming + i);
            ASSERT_NEAR(capture.left[at], expected_start_sample(picked, factor, i, false), tolerance)
                << "left, frame " << i;
            ASSERT_NEAR(capture.right[at], expected_start_sample(picked, factor, i, true), tolerance)
                << "right, frame " << i;
        }
        EXPECT_TRUE(screen_shows(
            session, [](const Screenshot& s) { return playing_strip(s) && browser_highlights(s, 1); }, 5.0))
            << "playing: light grey strip, the picked track white";
        const Corvane::Test_Reservation_Owner& server = *session.sound_server;
        EXPECT_EQ(server.count("granted 10"), 1) << "the card was not asked for";

        // S pauses: the card goes back to the sound server at once, the strip turns white,
        // the idle text returns and the card stops receiving.
        press_key(session.window, "s");
        EXPECT_TRUE(server.wait_for("owned", 1.0, 2)) << "the sound server did not get its card back";
        EXPECT_TRUE(screen_shows(
            session, [&](const Screenshot& s) { return idle_strip(s) && footer_text(s).width() == idle_text_width; },
            5.0, &shot))
            << "footer text " << footer_text(shot).width() << " px wide, idle " << idle_text_width;
        ASSERT_TRUE(poll([&] { return count_events(session.card, "close") >= 1; }, 5.0)) << "the stream did not close";
        const int64_t paused_at = captured_frames(session.card);
        sleep_seconds(0.3);
        EXPECT_EQ(captured_frames(session.card), paused_at) << "sound went on while paused";

        // S again resumes.
        press_key(session.window, "s");
        ASSERT_TRUE(screen_shows(session, playing_strip, 5.0)) << "no light grey strip after resuming";
        EXPECT_TRUE(capture_grows(session, 0.2, 5.0)) << "no sound after resuming";

        // X shows the waveform of the playing tone, which crosses the whole upper area; X
        // again brings the browser back.
        press_key(session.window, "x");
        EXPECT_TRUE(screen_shows(
            session, [](const Screenshot& s) { return lit_row_fraction(s) > 0.8; }, 5.0, &shot))
            << "lit rows: " << lit_row_fraction(shot);
        press_key(session.window, "x");
        ASSERT_TRUE(screen_shows(
            session, [](const Screenshot& s) { return browser_highlights(s, 1); }, 5.0));

        // C goes on to the next track: it turns white and its tone reaches the card, which
        // stays Corvane's throughout.
        EXPECT_EQ(server.count("granted 10"), 2) << "resuming did not ask for the card again";
        const size_t server_events = server.log().size();
        press_key(session.window, "c");
        ASSERT_TRUE(screen_shows(
            session, [](const Screenshot& s) { return playing_strip(s) && browser_highlights(s, 2); }, 10.0))
            << "the next track is not shown as playing";
        ASSERT_TRUE(poll([&] { return count_events(session.card, "open") >= 3; }, 5.0));
        ASSERT_TRUE(capture_grows(session, start_fade + 0.3, 5.0));
        EXPECT_NEAR(latest_tone(session), 1764.0, 30.0) << "not the next track's tone";
        EXPECT_EQ(server.log().size(), server_events) << "the card changed hands between tracks";

        // W turns shuffle on: a track of the shuffle order plays and the footer line gains
        // " Shuffle" (the track names and numbers have the same width, digits being
        // equally wide).
        ASSERT_TRUE(screen_shows(session, playing_strip, 5.0, &shot));
        const int plain_width = footer_text(shot).width();
        press_key(session.window, "w");
        EXPECT_TRUE(screen_shows(
            session, [&](const Screenshot& s) { return playing_strip(s) && footer_text(s).width() > plain_width + 30; },
            10.0, &shot))
            << "footer text " << footer_text(shot).width() << " px wide, without shuffle " << plain_width;
        const int shuffle_width = footer_text(shot).width() - plain_width;
        EXPECT_TRUE(shuffle_width >= 40 && shuffle_width <= 62) << "\" Shuffle\" took " << shuffle_width << " px";

        // Escape hides the window at once, gives the card back and ends the player with exit
        // code 0.
        press_key(session.window, "Escape");
        EXPECT_TRUE(poll([] { return find_window("Corvane", 0.0).empty(); }, 1.0)) << "window still shown";
        EXPECT_TRUE(server.wait_for("owned", 1.0, 3)) << "the card was not given back at exit";
        const auto code = session.player->wait_exit(10.0);
        ASSERT_TRUE(code.has_value()) << "still running 10 s after Escape";
        EXPECT_EQ(*code, 0);
    }

    // Folders whose every level links twice to the level below: a scan follows 2^depth paths
    // through depth + 1 real folders (kept hidden, so that only the top is scanned as such).
    void write_mirror_folders(const std::filesystem::path& music, int depth)
    {
        const std::filesystem::path levels = music / ".levels";
        std::filesystem::create_directories(levels / "L0");
        std::ofstream(levels / "L0" / "t.flac") << "never played";
        // Appended, not prefixed: GCC 12 warns falsely (-Wrestrict) on "L" + std::to_string(k).
        const auto name = [](int k) { return std::string("L").append(std::to_string(k)); };
        for (int k = 1; k <= depth; ++k)
        {
            const std::filesystem::path level = levels / name(k);
            std::filesystem::create_directories(level);
            std::filesystem::create_directory_symlink(std::filesystem::path("..") / name(k - 1), level / "a");
            std::filesystem::create_directory_symlink(std::filesystem::path("..") / name(k - 1), level / "b");
        }
        std::filesystem::create_directory_symlink(std::filesystem::path(".levels") / name(depth), music / "Mirror");
    }

    TEST(Player_End_To_End, ReadsLoadingWhileScanningThenIdle)
    {
        Player_Session session;
        // A scan long enough to be seen even on a fast machine (several seconds under the
        // sanitizers), short enough not to slow the run much.
        write_mirror_folders(session.music, 15);
        write_track(session.music / "101.flac", 1.0, 441.0);
        ASSERT_TRUE(session.start()) << "no window named Corvane appeared";
        park_pointer();

        // Scanning: a white strip reading "Loading" (about 53 px wide), nothing above it.
        Screenshot shot;
        ASSERT_TRUE(screen_shows(
            session,
            [](const Screenshot& s)
            {
                const int width = footer_text(s).width();
                return idle_strip(s) && width >= 40 && width <= 70 && browser_lines(s).empty();
            },
            10.0, &shot))
            << "never saw \"Loading\" alone; the footer text was " << footer_text(shot).width() << " px wide over "
            << browser_lines(shot).size() << " lines";
        const int loading = footer_text(shot).width();

        // Idle: still white, "Corvane 18-12-29" (more than twice as wide as "Loading"), and
        // the browser with the folder (light grey) and the track (grey).
        ASSERT_TRUE(screen_shows(
            session, [](const Screenshot& s) { return browser_lines(s).size() == 2; }, 20.0, &shot))
            << "the scan did not finish";
        const int idle_width = footer_text(shot).width();
        EXPECT_TRUE(idle_strip(shot));
        EXPECT_GT(idle_width, 2 * loading) << "idle text " << idle_width << " px, loading " << loading;
        EXPECT_TRUE(near(browser_lines(shot)[0].brightest, 179, 8)) << browser_lines(shot)[0].brightest;
        EXPECT_TRUE(shows_grey(browser_lines(shot)[1])) << browser_lines(shot)[1].brightest;

        press_key(session.window, "Escape");
        const auto code = session.player->wait_exit(10.0);
        ASSERT_TRUE(code.has_value());
        EXPECT_EQ(*code, 0);
    }

    // Which columns of a line of text hold ink: pixels that differ from the column's
    // background by more than half of the text's full contrast (white or grey text on black
    // in the browser, black text on the white or light grey footer strip), so that both
    // lines are read at the same coverage.
    std::vector<bool> ink_columns(const Screenshot& shot, int left, int width, int top, int bottom, bool dark_text)
    {
        std::vector<bool> columns(size_t(std::max(width, 0)), false);
        int text = 0;
        const auto inside = [&](int x) { return left + x >= 0 && left + x < shot.width; };
        for (int x = 0; x < width; ++x)
            for (int y = top; y <= bottom && inside(x); ++y)
                text = std::max(text, shot.at(left + x, y).brightest());
        for (int x = 0; x < width; ++x)
            for (int y = top; y <= bottom && inside(x); ++y)
            {
                int background = 0;
                for (int row = top; row <= bottom; ++row)
                    background = std::max(background, shot.at(left + x, row).brightest());
                const int value = shot.at(left + x, y).brightest();
                columns[size_t(x)] = columns[size_t(x)] || (dark_text ? value < background / 2 : value > text / 2);
            }
        return columns;
    }

    // True when the footer's line starts with the same glyphs as browser line `line`: the
    // footer holds the track's name followed by its details, in the same font.
    bool footer_starts_with(const Screenshot& shot, const Text_Line& line)
    {
        const Span footer = footer_text(shot);
        const int width = line.columns.width();
        if (footer.width() <= width)
            return false;
        // Both read from two columns before their first faint pixel, then compared from
        // their first column of ink.
        const std::vector<bool> name =
            ink_columns(shot, line.columns.left - 2, width + 4, line.rows.left, line.rows.right, false);
        const std::vector<bool> shown =
            ink_columns(shot, footer.left - 2, width + 4, shot.height - footer_strip_height, shot.height - 1, true);
        const auto name_start = std::find(name.begin(), name.end(), true) - name.begin();
        const auto shown_start = std::find(shown.begin(), shown.end(), true) - shown.begin();
        if (name_start > 3 || shown_start > 3)
            return false;
        int differing = 0;
        for (int x = 0; x < width - 2; ++x)
            differing += name[size_t(name_start + x)] != shown[size_t(shown_start + x)] ? 1 : 0;
        return differing <= std::max(3, width / 12);
    }

    TEST(Player_End_To_End, NamesInAnyScriptAndEncodingAreShownPlayedAndNamedInTheFooter)
    {
        // Sorted as the browser lists them: the decomposed "o" + diaeresis is an "o" first.
        const std::vector<std::pair<std::string, double>> tracks = {
            {"Bjo\xcc\x88rk - Debut.flac", 441.0},                 // decomposed, as copied from macOS
            {"Bj\xc3\xb6rk - J\xc3\xb3ga.flac", 882.0},            // UTF-8
            {"Caf\xe9 Tacvba.flac", 1323.0},                       // Latin-1 from an older library
            {"Tab\there.flac", 1764.0},                            // a tab
            {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.flac", 2205.0}, // CJK
        };
        Player_Session session;
        for (const auto& [name, tone] : tracks)
            write_track(session.music / name, 10.0, tone);
        ASSERT_TRUE(session.start()) << "no window named Corvane appeared";
        resize_window(session.window, wide_window, 666);
        park_pointer();

        Screenshot shot;
        ASSERT_TRUE(screen_shows(
            session,
            [&](const Screenshot& s)
            {
                const std::vector<Text_Line> lines = browser_lines(s);
                // Centred in the wide window: a frame drawn before the player saw the resize
                // puts the names where a click no longer finds them.
                return s.width == wide_window && idle_strip(s) && lines.size() == tracks.size() &&
                       std::all_of(lines.begin(), lines.end(), shows_grey) &&
                       std::all_of(lines.begin(), lines.end(),
                                   [&](const Text_Line& l) { return std::abs(l.centre_x() - s.width / 2) <= 4; });
            },
            10.0, &shot))
            << browser_lines(shot).size() << " lines";

        for (size_t i = 0; i < tracks.size(); ++i)
        {
            SCOPED_TRACE(tracks[i].first);
            const Text_Line line = browser_lines(shot)[i];
            const auto picked = [&](const Screenshot& s)
            {
                const std::vector<Text_Line> lines = browser_lines(s);
                return playing_strip(s) && lines.size() == tracks.size() && shows_white(lines[i]);
            };
            click(session.window, line.centre_x(), line.centre_y());
            ASSERT_TRUE(screen_shows(session, picked, 10.0, &shot)) << "the picked track is not shown as playing";
            park_pointer();
            ASSERT_TRUE(capture_grows(session, start_fade + 0.3, 5.0)) << "no sound";
            EXPECT_NEAR(latest_tone(session), tracks[i].second, 30.0) << "not the picked track's tone";
            EXPECT_TRUE(screen_shows(
                session,
                [&](const Screenshot& s)
                {
                    const std::vector<Text_Line> lines = browser_lines(s);
                    return lines.size() == tracks.size() && footer_starts_with(s, lines[i]);
                },
                5.0, &shot))
                << "the footer does not show the track's name";
        }

        EXPECT_TRUE(find_window_in_tree("Corvane Error", 0.0).empty()) << "an error box appeared";
        press_key(session.window, "Escape");
        const auto code = session.player->wait_exit(10.0);
        ASSERT_TRUE(code.has_value()) << "still running 10 s after Escape";
        EXPECT_EQ(*code, 0);
    }

    TEST(Player_End_To_End, AnEndedTrackIsFollowedByTheNextOne)
    {
        Player_Session session;
        write_track(session.music / "101.flac", 1.0, 441.0);
        write_track(session.music / "102.flac", 10.0, 882.0);
        ASSERT_TRUE(session.start()) << "no window named Corvane appeared";
        park_pointer();

        Screenshot shot;
        ASSERT_TRUE(screen_shows(
            session,
            [](const Screenshot& s)
            {
                const std::vector<Text_Line> lines = browser_lines(s);
                return idle_strip(s) && lines.size() == 2 && shows_grey(lines[0]) && shows_grey(lines[1]);
            },
            10.0, &shot))
            << "no idle browser with the two tracks";
        const Text_Line first = browser_lines(shot)[0];
        click(session.window, first.centre_x(), first.centre_y());
        ASSERT_TRUE(poll([&] { return count_events(session.card, "open") >= 1; }, 10.0)) << "the click played nothing";
        park_pointer();

        // No key: when the short first track ends, the second one opens a stream of its own.
        ASSERT_TRUE(poll([&] { return count_events(session.card, "open") >= 2; }, 10.0)) << "no second track";
        ASSERT_TRUE(capture_grows(session, start_fade + 0.3, 5.0));
        EXPECT_NEAR(latest_tone(session), 882.0, 20.0) << "not the second track's tone";
        EXPECT_TRUE(screen_shows(
            session,
            [](const Screenshot& s)
            {
                const std::vector<Text_Line> lines = browser_lines(s);
                return lines.size() == 2 && shows_grey(lines[0]) && shows_white(lines[1]);
            },
            5.0))
            << "the second track is not shown as playing";

        press_key(session.window, "Escape");
        const auto code = session.player->wait_exit(10.0);
        ASSERT_TRUE(code.has_value());
        EXPECT_EQ(*code, 0);
    }

    TEST(Player_End_To_End, AFolderWithoutMusicShowsTheErrorBoxAndExitsWithOne)
    {
        // The box comes from the scan thread while the main thread runs its first frames; a
        // race between them shows only now and then, so start more than once.
        for (int start = 1; start <= 3; ++start)
        {
            SCOPED_TRACE("start " + std::to_string(start));
            Player_Session session;
            std::ofstream(session.music / "notes.txt") << "not music";
            session.card.write();
            session.player.emplace(session.music,
                                   std::vector<std::string>{"ALSA_CONFIG_PATH=" + session.card.config_path()});

            const std::string box = find_window_in_tree("Corvane Error", 10.0);
            ASSERT_FALSE(box.empty()) << "no \"Corvane Error\" box appeared";
            // The box waits for the user.
            EXPECT_FALSE(session.player->wait_exit(0.3).has_value()) << "ended before the box was dismissed";

            run("xdotool key --window " + box + " Return");
            const auto code = session.player->wait_exit(10.0);
            ASSERT_TRUE(code.has_value()) << "still running after the box was dismissed";
            EXPECT_EQ(*code, 1) << (*code == sanitizer_exit_code ? "a sanitizer found an error (its report is above)"
                                                                 : "");
        }
    }
}
