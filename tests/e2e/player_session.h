// The real player in a generated library, playing through the tests' paced sound card: the
// session that starts it, the generated tracks with the samples written into them, what the
// card captured, and readings of the player's screen (footer strip, footer text, browser
// lines, waveform) taken from screenshots.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "flac_fixture.h"
#include "session_bus/session_bus.h"
#include "sound_card/sound_card.h"

namespace E2e
{
    constexpr int footer_strip_height = 20; // pixels along the window's bottom edge

    // A 16-bit stereo tone written as a FLAC file, with the samples the file holds.
    struct Generated_Track
    {
        std::filesystem::path path;
        Flac_Fixture::Options options;
        std::vector<int32_t> samples; // interleaved left, right

        // The track's largest sample as the player decodes it (1.0 = full scale).
        double peak() const;
    };
    Generated_Track write_track(const std::filesystem::path& path, double seconds, double tone, double amplitude = 0.5);

    // A music folder, a paced test card and the player started in that folder; with
    // sound_server_priority set, also a private session bus on which a sound server (the
    // test owner) holds the card, as on a desktop. Without, the player sees no session bus.
    struct Player_Session
    {
        Player_Session();

        // Starts the player and waits for its window; false when none appeared.
        bool start();

        std::optional<int32_t> sound_server_priority;
        std::unique_ptr<Corvane::Test_Session_Bus> bus;
        std::unique_ptr<Corvane::Test_Reservation_Owner> sound_server;

        Temporary_Folder folder;
        std::filesystem::path music;   // the player's working directory
        Corvane::Test_Sound_Card card; // its sound card
        std::optional<Player_Process> player;
        std::string window; // X window id, once started
    };

    // What the paced card was given: stereo frames decoded from S24_3LE.
    struct Capture
    {
        std::vector<int32_t> left;
        std::vector<int32_t> right;
    };
    Capture read_capture(const Corvane::Test_Sound_Card& card);
    int64_t captured_frames(const Corvane::Test_Sound_Card& card);
    // Lines of the card's event log that start with `prefix`.
    int count_events(const Corvane::Test_Sound_Card& card, const std::string& prefix);
    // Period of the first stream from its hw_params line (the player's buffer); 0 before one.
    int64_t period_frames(const Corvane::Test_Sound_Card& card);

    // Frequency of a steady tone, from the zero crossings of `samples`.
    double tone_frequency(const std::vector<int32_t>& samples, int64_t first, int64_t count, double sample_rate);

    // Readings of a screenshot of the player's window.
    struct Span
    {
        int left = -1;
        int right = -1; // inclusive; -1 when empty
        int width() const { return left < 0 ? 0 : right - left + 1; }
    };

    // The colour that most pixels of the footer strip's left tenth have: the strip's
    // background (the progress fill grows from the middle, the text is centred).
    Rgb footer_background(const Screenshot& shot);

    // Columns of the footer strip that hold dark text pixels.
    Span footer_text(const Screenshot& shot);

    // A line of text in the upper area: its rows, columns and brightest channel value.
    struct Text_Line
    {
        Span rows;
        Span columns;
        int brightest = 0;
        int centre_x() const { return (columns.left + columns.right) / 2; }
        int centre_y() const { return (rows.left + rows.right) / 2; }
    };
    std::vector<Text_Line> browser_lines(const Screenshot& shot);

    // Fraction of the upper area's rows with any lit pixel: a waveform of a loud tone
    // crosses nearly all of them, a short list of names few.
    double lit_row_fraction(const Screenshot& shot);
}
