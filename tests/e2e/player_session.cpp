// The player session of the end-to-end tests (see player_session.h).
#include "e2e/player_session.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace E2e
{
    namespace
    {
        constexpr int bytes_per_frame = 6; // S24_3LE stereo

        int32_t sample_24(const uint8_t* bytes)
        {
            const uint32_t value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16;
            return int32_t(value << 8) >> 8; // sign-extend from 24 bits
        }

        int upper_area_height(const Screenshot& shot)
        {
            return std::max(shot.height - footer_strip_height, 0);
        }

        bool lit(Rgb pixel)
        {
            return pixel.brightest() > 40;
        }
    }

    double Generated_Track::peak() const
    {
        const auto [lowest, highest] = std::minmax_element(samples.begin(), samples.end());
        return std::max(std::abs(*lowest), std::abs(*highest)) / 32767.0;
    }

    Generated_Track write_track(const std::filesystem::path& path, double seconds, double tone, double amplitude)
    {
        Generated_Track track;
        track.path = path;
        track.options.seconds = seconds;
        track.options.tone = tone;
        track.options.amplitude = amplitude;
        std::filesystem::create_directories(path.parent_path());
        track.samples = Flac_Fixture::make_tone(track.options);
        Flac_Fixture::write(path.string(), track.options, track.samples);
        return track;
    }

    Player_Session::Player_Session()
    {
        music = folder.path / "music";
        std::filesystem::create_directories(music);
        card.folder = (folder.path / "card").string();
        card.sink = Corvane::Test_Sound_Card::Sink::paced;
    }

    bool Player_Session::start()
    {
        card.write();
        if (sound_server_priority)
        {
            bus = std::make_unique<Corvane::Test_Session_Bus>();
            Corvane::Test_Reservation_Owner::Options options;
            options.priority = *sound_server_priority;
            options.busy_file = card.busy_path();
            sound_server = std::make_unique<Corvane::Test_Reservation_Owner>(
                bus->address, (folder.path / "sound-server.log").string(), options);
            if (!sound_server->wait_for("owned", 10.0))
                return false;
        }
        player.emplace(music, std::vector<std::string>{"ALSA_CONFIG_PATH=" + card.config_path(),
                                                       "DBUS_SESSION_BUS_ADDRESS=" + (bus ? bus->address : "")});
        window = find_window("Corvane", 20.0);
        return !window.empty();
    }

    Capture read_capture(const Corvane::Test_Sound_Card& card)
    {
        const std::vector<uint8_t> bytes = Corvane::read_bytes(card.capture_path());
        Capture capture;
        const size_t frames = bytes.size() / bytes_per_frame;
        capture.left.reserve(frames);
        capture.right.reserve(frames);
        for (size_t i = 0; i < frames; ++i)
        {
            capture.left.push_back(sample_24(&bytes[i * bytes_per_frame]));
            capture.right.push_back(sample_24(&bytes[i * bytes_per_frame + 3]));
        }
        return capture;
    }

    int64_t captured_frames(const Corvane::Test_Sound_Card& card)
    {
        std::error_code error;
        const auto size = std::filesystem::file_size(card.capture_path(), error);
        return error ? 0 : int64_t(size) / bytes_per_frame;
    }

    int count_events(const Corvane::Test_Sound_Card& card, const std::string& prefix)
    {
        const std::vector<std::string> lines = Corvane::read_lines(card.log_path());
        return int(std::count_if(lines.begin(), lines.end(),
                                 [&](const std::string& line) { return line.rfind(prefix, 0) == 0; }));
    }

    int64_t period_frames(const Corvane::Test_Sound_Card& card)
    {
        for (const std::string& line : Corvane::read_lines(card.log_path()))
        {
            // hw_params RATE FORMAT CHANNELS PERIOD_FRAMES BUFFER_FRAMES
            std::istringstream fields(line);
            std::string event, format;
            int64_t rate = 0, channels = 0, period = 0;
            if (fields >> event >> rate >> format >> channels >> period && event == "hw_params")
                return period;
        }
        return 0;
    }

    double tone_frequency(const std::vector<int32_t>& samples, int64_t first, int64_t count, double sample_rate)
    {
        int crossings = 0;
        for (int64_t i = first + 1; i < first + count; ++i)
            if ((samples[size_t(i - 1)] < 0) != (samples[size_t(i)] < 0))
                ++crossings;
        return crossings / 2.0 * sample_rate / double(count);
    }

    Rgb footer_background(const Screenshot& shot)
    {
        std::map<uint32_t, int> counts;
        for (int y = upper_area_height(shot); y < shot.height; ++y)
            for (int x = 0; x < std::max(shot.width / 10, 1); ++x)
            {
                const Rgb p = shot.at(x, y);
                ++counts[uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b];
            }
        if (counts.empty())
            return {};
        const auto most = std::max_element(counts.begin(), counts.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
        return {uint8_t(most->first >> 16), uint8_t(most->first >> 8), uint8_t(most->first)};
    }

    Span footer_text(const Screenshot& shot)
    {
        Span span;
        for (int y = upper_area_height(shot); y < shot.height; ++y)
            for (int x = 0; x < shot.width; ++x)
                if (shot.at(x, y).brightest() < 96)
                {
                    span.left = span.left < 0 ? x : std::min(span.left, x);
                    span.right = std::max(span.right, x);
                }
        return span;
    }

    std::vector<Text_Line> browser_lines(const Screenshot& shot)
    {
        constexpr int largest_gap = 3; // rows between the parts of one line (the dot of an i)
        std::vector<Text_Line> lines;
        int last_lit_row = -100;
        for (int y = 0; y < upper_area_height(shot); ++y)
        {
            Span columns;
            int brightest = 0;
            for (int x = 0; x < shot.width; ++x)
                if (lit(shot.at(x, y)))
                {
                    columns.left = columns.left < 0 ? x : columns.left;
                    columns.right = x;
                    brightest = std::max(brightest, shot.at(x, y).brightest());
                }
            if (columns.left < 0)
                continue;
            if (y - last_lit_row > largest_gap + 1)
                lines.push_back({{y, y}, columns, brightest});
            Text_Line& line = lines.back();
            line.rows.right = y;
            line.columns.left = std::min(line.columns.left, columns.left);
            line.columns.right = std::max(line.columns.right, columns.right);
            line.brightest = std::max(line.brightest, brightest);
            last_lit_row = y;
        }
        return lines;
    }

    double lit_row_fraction(const Screenshot& shot)
    {
        const int rows = upper_area_height(shot);
        int lit_rows = 0;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < shot.width; ++x)
                if (lit(shot.at(x, y)))
                {
                    ++lit_rows;
                    break;
                }
        return rows == 0 ? 0.0 : double(lit_rows) / rows;
    }
}
