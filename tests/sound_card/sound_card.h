// The tests' virtual sound card: writes an ALSA configuration (for ALSA_CONFIG_PATH) in which
// the default card's `hw` device is either ALSA's file plugin over `null` (bytes land in a
// file, no timing) or the paced test plugin (keeps the stream's time, can refuse, be busy,
// stall or suspend). Set ALSA_CONFIG_PATH to config_path() before the process first opens
// a device; README.md beside this file shows both cards and their controls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Corvane
{
    struct Test_Sound_Card
    {
        enum class Sink
        {
            file,  // ALSA's file plugin over null: bytes only, consumed instantly
            paced, // the test plugin: consumes at the stream's rate
        };

        std::string folder; // holds the configuration, capture, log and control files
        Sink sink = Sink::paced;
        std::string formats = "S24_3LE S32_LE"; // paced: sample layouts accepted, ALSA names
        std::string rates;                      // paced: rates accepted in Hz, space-separated; empty: 8000 to 384000
        bool busy = false;                      // paced: every open fails with EBUSY
        int64_t stall_after = -1;               // paced: frames consumed before the card stalls; -1: never
        int64_t min_period_bytes = 64;          // paced: shortest period the card allows, in bytes
        int64_t min_periods = 2;                // paced: fewest periods its buffer may hold

        std::string config_path() const;  // the value for ALSA_CONFIG_PATH
        std::string capture_path() const; // raw frames as written (file card: since the last open)
        std::string log_path() const;   // paced: one event per line ("open", "hw_params 44100 S24_3LE 2 441 882", ...)
        std::string busy_path() const;  // paced: opens fail with EBUSY while this file exists
        std::string stall_path() const; // paced: a running stream stalls for good once this file exists
        std::string suspend_path() const; // paced: a running stream suspends once when this file appears

        // Creates the folder, writes the configuration, empties the capture and the log and
        // removes the control files. Throws std::runtime_error.
        void write() const;
    };

    // The plugin's shared object, as built.
    std::string test_sound_card_plugin();

    // Whole file, or empty if it does not exist.
    std::vector<uint8_t> read_bytes(const std::string& path);
    std::vector<std::string> read_lines(const std::string& path);
}
