// The library browser: display names, the list for each selection and its colours, inertial
// scrolling, clicks on the entries where they are seen (also in a long list), a pick taken
// once, going up, and the footer's layout after a resize.
#include "app/browser.h"
#include "app/player_fixture.h"
#include "engine/drawing_support.h"
#include "support/synthetic_input.h"

namespace
{
    struct Browser : Player_Fixture
    {
        void SetUp() override
        {
            start({"A/a1.flac", "A/a2.flac", "B. Sides/b1.flac", "r1.flac"});
            app->window.delta_time = 0.0f; // nothing glides between the test's draws
        }

        Corvane::Directory& library() { return app->library; }

        std::shared_ptr<Corvane::File> child(const std::shared_ptr<Corvane::File>& parent, const std::string& name)
        {
            for (const auto& c : parent->children)
                if (c->name == name)
                    return c;
            return nullptr;
        }

        const Kestrane::Color white{1, 1, 1, 1}, light_grey{0.7f, 0.7f, 0.7f, 1}, grey{0.5f, 0.5f, 0.5f, 1};

        // Draws the browser in the player's upper area with the input set by the test.
        void draw(std::shared_ptr<Corvane::File> playing = nullptr)
        {
            const Kestrane::Int2 size = app->window.size;
            library().draw(app->player_font, {0, 0}, {size.x, size.y - Corvane::footer_height}, white, light_grey, grey,
                           playing ? playing : app->track.file);
            app->window.pressed.fill(false);
        }

        // Clicks at window pixel (x, y) as a user does, the cursor moved there and the button
        // pressed and let go, read by one update of the window; then draws.
        void click(int x, int y, int button = Kestrane::button_left)
        {
            {
                Test_Support::Pointer_Lock pointer;
                Test_Support::move_cursor(app->window.position.x + x, app->window.position.y + y);
                Test_Support::send_button(*app->window.handle, uint32_t(button), true);
                Test_Support::send_button(*app->window.handle, uint32_t(button), false);
                app->window.update();
            }
            app->window.delta_time = 0.0f; // nothing glides between the test's draws
            ASSERT_EQ(app->window.cursor_in_window, (Kestrane::Int2{x, y}));
            draw();
        }

        // The lines of text in the upper area as drawn (clicks off), top to bottom, read off
        // the screen: where the entries really are, whatever the layout code computes.
        std::vector<drawing_test::Box> shown_lines()
        {
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            draw();
            const drawing_test::Frame frame = drawing_test::read_frame(app->window);
            std::vector<drawing_test::Box> lines;
            bool in_line = false;
            for (int y = 0; y < frame.height - Corvane::footer_height; ++y)
            {
                bool row_lit = false;
                for (int x = 0; x < frame.width; ++x)
                    if (frame.lit(x, y))
                    {
                        if (!in_line)
                            lines.emplace_back();
                        drawing_test::Box& line = lines.back();
                        line.left = std::min(line.left, x);
                        line.right = std::max(line.right, x);
                        line.top = std::min(line.top, y);
                        line.bottom = y;
                        row_lit = in_line = true;
                    }
                in_line = row_lit;
            }
            return lines;
        }

        // The middle of the `i`th line shown.
        Kestrane::Int2 entry_centre(int i)
        {
            const std::vector<drawing_test::Box> lines = shown_lines();
            if (size_t(i) >= lines.size())
            {
                ADD_FAILURE() << "only " << lines.size() << " lines shown";
                return {-1, -1};
            }
            const drawing_test::Box& line = lines[size_t(i)];
            return {(line.left + line.right) / 2, (line.top + line.bottom) / 2};
        }
    };

    TEST_F(Browser, ListsThePathThenTheShownFolderWithThePathAndThePlayingTrackInWhite)
    {
        auto root = library().selection;
        auto list = Corvane::browser_list(root);
        ASSERT_EQ(list.size(), 3u);
        EXPECT_EQ(list.path.size(), 0u);
        EXPECT_EQ(list[0]->name, "A");
        EXPECT_EQ(list[2]->name, "r1.flac");

        auto a2 = child(child(root, "A"), "a2.flac");
        list = Corvane::browser_list(a2);
        ASSERT_EQ(list.size(), 3u);
        EXPECT_EQ(list.path.size(), 1u);
        EXPECT_EQ(list[0]->name, "A");
        EXPECT_EQ(list[1]->name, "a1.flac");

        // Folders light grey, tracks grey; the path folders and the playing track white.
        draw(list[1]);
        EXPECT_EQ(child(root, "A")->label.color, light_grey);
        EXPECT_EQ(child(root, "r1.flac")->label.color, grey);
        // A track without its extension, a folder whole, dot and all.
        EXPECT_EQ(child(root, "r1.flac")->label.string, "r1");
        EXPECT_EQ(child(root, "B. Sides")->label.string, "B. Sides");
        library().selection = a2;
        draw(list[1]);
        EXPECT_EQ(list[0]->label.color, white) << "the path folder";
        EXPECT_EQ(list[1]->label.color, white) << "the playing track";
        EXPECT_EQ(list[2]->label.color, grey) << "the selected track, not playing";

        // Drawn in one pass, each line still shows its own colour: the white path folder,
        // then the two grey tracks (nothing plays here).
        const std::vector<drawing_test::Box> lines = shown_lines();
        ASSERT_EQ(lines.size(), 3u);
        const drawing_test::Frame frame = drawing_test::read_frame(app->window);
        const auto brightest = [&](const drawing_test::Box& line)
        {
            int most = 0;
            for (int y = line.top; y <= line.bottom; ++y)
                for (int x = line.left; x <= line.right; ++x)
                    most = std::max(most, int(frame.at(x, y).r));
            return most;
        };
        EXPECT_GT(brightest(lines[0]), 240) << "the path folder";
        EXPECT_NEAR(brightest(lines[1]), 128, 3) << "a grey track after a white line";
        EXPECT_NEAR(brightest(lines[2]), 128, 3);
    }

    TEST_F(Browser, ClicksPickTheEntryUnderTheCursorOnlyInsideTheArea)
    {
        const Kestrane::Int2 b = entry_centre(1);
        click(b.x, b.y);
        EXPECT_TRUE(library().selection_changed);
        EXPECT_EQ(library().selection->name, "B. Sides");

        draw();
        EXPECT_FALSE(library().selection_changed) << "cleared at the next call";

        app->window.held[Kestrane::key_ctrl] = true;
        const Kestrane::Int2 b1 = entry_centre(1);
        click(b1.x, b1.y);
        EXPECT_EQ(library().selection->name, "B. Sides") << "Ctrl + click moves the window instead";
        app->window.held[Kestrane::key_ctrl] = false;

        click(b1.x, b1.y);
        EXPECT_EQ(library().selection->name, "b1.flac");
        EXPECT_TRUE(library().selection_changed);

        click(app->window.size.x / 2, app->window.size.y - 5);
        EXPECT_FALSE(library().selection_changed) << "the footer strip picks nothing";
    }

    TEST_F(Browser, APickPlaysItsTrackOnceWithShuffleOffEvenWhenTheWaveformHidesTheBrowser)
    {
        app->shuffle = true;
        const Kestrane::Int2 r1 = entry_centre(2);
        app->window.cursor_in_window = r1;
        app->window.pressed[Kestrane::button_left] = true;
        app->frame();
        app->window.pressed.fill(false);
        ASSERT_TRUE(library().selection_changed);

        // X in the very next frame: the browser, which clears the pick, is no longer drawn.
        app->window.pressed['X'] = true;
        app->frame();
        app->window.pressed.fill(false);
        EXPECT_TRUE(app->show_waveform);
        EXPECT_FALSE(app->shuffle) << "a pick turns shuffle off";
        ASSERT_TRUE(app->track.file);
        EXPECT_EQ(app->track.file->name, "r1.flac");

        const auto opens = []
        {
            const std::vector<std::string> calls = Memory_Audio_Device::calls();
            return std::count(calls.begin(), calls.end(), "open");
        };
        ASSERT_TRUE(frames_until([&] { return opens() == 1 && !app->track.loading; }));
        for (int frame = 0; frame < 50; ++frame) // the card is parked: the track cannot end meanwhile
        {
            app->window.update();
            app->frame();
            ASSERT_FALSE(app->track.loading) << "loaded again in frame " << frame;
        }
        EXPECT_EQ(opens(), 1);
    }

    TEST_F(Browser, RightClickGoesUpAndDoesNothingAtTheRoot)
    {
        const auto root = library().selection;
        click(10, 10, Kestrane::button_right);
        EXPECT_EQ(library().selection, root);

        library().selection = child(child(root, "A"), "a1.flac");
        library().scroll_offset = 40.0f;
        click(10, 10, Kestrane::button_right);
        EXPECT_EQ(library().selection, root) << "from a track, up from its folder";
        EXPECT_EQ(library().scroll_offset, 0.0f);
        EXPECT_FALSE(library().selection_changed);
    }

    TEST_F(Browser, AListThatFitsStaysCentredAndIgnoresTheWheel)
    {
        app->window.wheel = 5;
        app->window.delta_time = 0.1f;
        draw();
        EXPECT_EQ(library().scroll_offset, 0.0f);
    }

    TEST_F(Browser, WheelGlidesWithFrictionAndStaysWithinALineOfTheEnds)
    {
        auto& dir = library();
        const int L = app->player_font.height;
        const int h = 600, E = 100 * L;
        app->window.delta_time = 0.01f;
        app->window.wheel = 1;
        dir.scroll(E, h, L);
        EXPECT_FLOAT_EQ(dir.scroll_velocity, -240.0f);
        app->window.wheel = 0;
        float travelled = 0.0f;
        for (int frame = 0; frame < 40; ++frame)
            dir.scroll(E, h, L);
        travelled = -dir.scroll_offset;
        EXPECT_EQ(dir.scroll_velocity, 0.0f);
        EXPECT_NEAR(travelled, 31.0f, 3.0f) << "a quarter second of glide from 250 px/s";

        dir.scroll_offset = 0.0f;
        dir.scroll_velocity = 0.0f;
        app->window.wheel = 12;
        dir.scroll(E, h, L);
        EXPECT_FLOAT_EQ(dir.scroll_velocity, -2990.0f) << "the limit, less one frame of friction";

        app->window.wheel = -12;
        for (int frame = 0; frame < 500; ++frame)
            dir.scroll(E, h, L);
        const int bottom = int(float(E / 2 + h / 2) - dir.scroll_offset);
        EXPECT_GE(bottom, h - L) << "no more than a line of gap below the last entry";
        app->window.wheel = 12;
        for (int frame = 0; frame < 500; ++frame)
            dir.scroll(E, h, L);
        const int top = int(float(h / 2 - E / 2) - dir.scroll_offset);
        EXPECT_LE(top, L) << "no more than a line of gap above the first entry";
        EXPECT_EQ(dir.scroll_velocity, 0.0f) << "hitting the end stops the glide";
    }

    TEST_F(Browser, FooterFollowsTheWindowAfterAResize)
    {
        app->window.move_and_size(app->window.position, {200, 300});
        app->draw_footer(false);
        EXPECT_EQ(app->footer_background.position.y, 280.0f);
        EXPECT_EQ(app->footer_background.size.x, 200.0f);
        EXPECT_EQ(app->footer_background.size.y, 20.0f);
        EXPECT_EQ(app->footer_text.clip_position, (Kestrane::Int2{0, 280}));
        EXPECT_EQ(app->footer_text.clip_size, (Kestrane::Int2{200, 20}));
        EXPECT_EQ(app->footer_text.string, "Corvane 18-12-29");
    }

    // A folder of thirty tracks: a list much taller than the window.
    struct Long_List : Browser
    {
        void SetUp() override
        {
            std::vector<std::string> tracks;
            for (int i = 1; i <= 30; ++i)
                tracks.push_back("Many/t" + std::to_string(100 + i).substr(1) + ".flac");
            start(tracks);
            app->window.delta_time = 0.0f;
            library().selection = library().selection->children.front();
        }
    };

    TEST_F(Long_List, ALeftClickResetsTheScrollOnlyWhenTheCallStartedOnAFolder)
    {
        library().scroll_offset = 40.0f;
        std::vector<drawing_test::Box> lines = shown_lines();
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(library().scroll_offset, 40.0f) << "within the list's bounds: kept";
        click(app->window.size.x / 2, (lines[2].top + lines[2].bottom) / 2);
        ASSERT_TRUE(library().selection_changed);
        EXPECT_EQ(library().selection->type, Corvane::File::TRACK);
        EXPECT_EQ(library().scroll_offset, 0.0f) << "picked from a folder";

        library().scroll_offset = 40.0f;
        const auto picked = library().selection;
        lines = shown_lines();
        click(app->window.size.x / 2, (lines[4].top + lines[4].bottom) / 2);
        ASSERT_TRUE(library().selection_changed);
        EXPECT_NE(library().selection, picked);
        EXPECT_EQ(library().scroll_offset, 40.0f) << "picked from a track: the list stays where it is";
    }

    TEST_F(Long_List, AClickOnTheFooterPicksNoHiddenEntryWhoseBoxReachesThere)
    {
        const int area = app->window.size.y - Corvane::footer_height;
        std::vector<drawing_test::Box> lines = shown_lines();
        ASSERT_GE(lines.size(), 3u);
        // Every name has the same shape, so the lines lie one line height apart, and the
        // next entry below the last line seen is that much further down.
        const int line_height = lines[1].top - lines[0].top;
        const int ink_height = lines[0].bottom - lines[0].top + 1;
        ASSERT_EQ(lines[2].top - lines[1].top, line_height)
            << "lines from y " << lines[0].top << " in a window of " << app->window.size.x << " x "
            << app->window.size.y << ", scrolled by " << library().scroll_offset;
        const int hidden_top = lines.back().top + line_height;
        ASSERT_GE(hidden_top, area);
        // Scroll so that its box, from its top down to its baseline, lies in the footer.
        const int moved = hidden_top - (area + 4);
        library().scroll_offset = float(moved);
        const std::vector<drawing_test::Box> scrolled = shown_lines();
        ASSERT_EQ(scrolled.front().top, lines.front().top - moved) << "the list did not move as asked";
        ASSERT_LE(area + 4 + ink_height, area + Corvane::footer_height);

        const auto selection = library().selection;
        click(app->window.size.x / 2, area + 4 + ink_height / 2);
        EXPECT_FALSE(library().selection_changed) << "an entry that cannot be seen was picked";
        EXPECT_EQ(library().selection, selection);

        const drawing_test::Box& last = scrolled[scrolled.size() - 2];
        click(app->window.size.x / 2, (last.top + last.bottom) / 2);
        EXPECT_TRUE(library().selection_changed) << "a line that is seen is picked";
    }

    TEST_F(Long_List, OnlyEntriesThatCanBeSeenAreLabelledAndALabelIsShapedOnce)
    {
        // Centred, the list reaches far beyond the area at both ends: the second entry is
        // more than two lines above it and is left alone; one in the middle is labelled.
        draw();
        const std::vector<std::shared_ptr<Corvane::File>>& tracks = library().selection->children;
        const std::shared_ptr<Corvane::File> hidden = tracks[0], seen = tracks[15];
        EXPECT_EQ(hidden->label.font, nullptr) << "an entry far outside the area was labelled";
        ASSERT_EQ(seen->label.font, &app->player_font);
        EXPECT_EQ(seen->label.string, "t16");

        // The label of an unchanged name is kept from frame to frame, not shaped again.
        const Kestrane::Measurement shaped = seen->label.measured;
        seen->label.measured.width = -1;
        draw();
        EXPECT_EQ(seen->label.measured.width, -1);
        seen->label.measured = shaped;

        // Scrolled to the top, the hidden entry is seen and labelled.
        library().scroll_offset = -1000.0f;
        draw();
        EXPECT_EQ(hidden->label.string, "t01");
    }

    struct Long_Names : Player_Fixture
    {
    };

    TEST_F(Long_Names, ANewLabelKeepsTheOldOnesSidewaysScroll)
    {
        start({"A Very Long Title That Cannot Possibly Fit Into The Narrow Window Of The Player.flac"});
        const auto entry = app->library.selection->children.front();
        const Kestrane::Int2 size = app->window.size;
        const auto draw = [&]
        {
            app->window.delta_time = 0.25f;
            app->library.draw(app->player_font, {0, 0}, {size.x, size.y - Corvane::footer_height}, {1, 1, 1, 1},
                              {0.7f, 0.7f, 0.7f, 1}, {0.5f, 0.5f, 0.5f, 1}, nullptr);
        };
        entry->label.scroll = 0.0f; // the start-up frames may have moved it already
        draw();
        EXPECT_FLOAT_EQ(entry->label.scroll, 15.0f);
        draw();
        draw();
        EXPECT_FLOAT_EQ(entry->label.scroll, 45.0f) << "each frame's label goes on from the last one";
    }
}
