// Writes the ALSA configuration of the tests' virtual sound card. ALSA_CONFIG_PATH replaces
// the system's alsa.conf, so the file defines everything the player's open needs: `pcm.hw`
// with the usual arguments (so "hw", "hw:0" and "hw:CARD=0,DEV=0" all land here) and the
// plugin's type.
#include "sound_card/sound_card.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifndef CORVANE_TEST_SOUND_CARD_PLUGIN
#error "the build names the plugin's shared object"
#endif

namespace Corvane
{
    namespace
    {
        std::string quoted(const std::string& text)
        {
            std::string result = "\"";
            for (char c : text)
            {
                if (c == '"' || c == '\\')
                    result += '\\';
                result += c;
            }
            return result + "\"";
        }

        // The arguments of the system's own `pcm.hw`, accepted and ignored: there is one card.
        const char* hw_arguments = "    @args [ CARD DEV SUBDEV ]\n"
                                   "    @args.CARD { type string default \"0\" }\n"
                                   "    @args.DEV { type integer default 0 }\n"
                                   "    @args.SUBDEV { type integer default -1 }\n";

        std::string file_card(const Test_Sound_Card& card)
        {
            std::ostringstream text;
            text << "pcm.!hw {\n"
                 << hw_arguments << "    type file\n"
                 << "    slave.pcm { type null }\n"
                 << "    file " << quoted(card.capture_path()) << "\n"
                 << "    format \"raw\"\n"
                 << "    truncate true\n"
                 << "}\n";
            return text.str();
        }

        std::string paced_card(const Test_Sound_Card& card)
        {
            std::ostringstream text;
            text << "pcm_type.corvane_test {\n"
                 << "    lib " << quoted(test_sound_card_plugin()) << "\n"
                 << "}\n"
                 << "pcm.!hw {\n"
                 << hw_arguments << "    type corvane_test\n"
                 << "    capture " << quoted(card.capture_path()) << "\n"
                 << "    log " << quoted(card.log_path()) << "\n"
                 << "    formats " << quoted(card.formats) << "\n";
            if (!card.rates.empty())
                text << "    rates " << quoted(card.rates) << "\n";
            text << "    busy " << (card.busy ? "true" : "false") << "\n"
                 << "    busy_file " << quoted(card.busy_path()) << "\n"
                 << "    stall_after " << card.stall_after << "\n"
                 << "    stall_file " << quoted(card.stall_path()) << "\n"
                 << "    suspend_file " << quoted(card.suspend_path()) << "\n"
                 << "    min_period_bytes " << card.min_period_bytes << "\n"
                 << "    min_periods " << card.min_periods << "\n"
                 << "}\n";
            return text.str();
        }

        void write_file(const std::string& path, const std::string& text)
        {
            std::ofstream file(path, std::ios::binary | std::ios::trunc);
            file << text;
            if (!file.flush())
                throw std::runtime_error("Could not write \"" + path + "\".");
        }

        // ALSA reloads its configuration when a file's inode or time changes; a rename gives
        // a new inode even within the same second.
        void replace_file(const std::string& path, const std::string& text)
        {
            write_file(path + ".new", text);
            std::filesystem::rename(path + ".new", path);
        }
    }

    std::string Test_Sound_Card::config_path() const
    {
        return folder + "/asound.conf";
    }
    std::string Test_Sound_Card::capture_path() const
    {
        return folder + "/capture.raw";
    }
    std::string Test_Sound_Card::log_path() const
    {
        return folder + "/events.log";
    }
    std::string Test_Sound_Card::busy_path() const
    {
        return folder + "/busy";
    }
    std::string Test_Sound_Card::stall_path() const
    {
        return folder + "/stall";
    }
    std::string Test_Sound_Card::suspend_path() const
    {
        return folder + "/suspend";
    }

    void Test_Sound_Card::write() const
    {
        if (folder.empty())
            throw std::runtime_error("The test sound card needs a folder.");
        std::filesystem::create_directories(folder);
        for (const std::string& path : {busy_path(), stall_path(), suspend_path()})
            std::filesystem::remove(path);
        write_file(capture_path(), "");
        write_file(log_path(), "");
        replace_file(config_path(), "# The tests' virtual sound card, written by the tests.\n" +
                                        (sink == Sink::file ? file_card(*this) : paced_card(*this)));
    }

    std::string test_sound_card_plugin()
    {
        return CORVANE_TEST_SOUND_CARD_PLUGIN;
    }

    std::vector<uint8_t> read_bytes(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    std::vector<std::string> read_lines(const std::string& path)
    {
        std::ifstream file(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }
}
