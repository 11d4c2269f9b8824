// Command-line face of the test sound card, for scripts and manual checks:
//   corvane_test_sound_card FOLDER [--file] [--formats "S32_LE"] [--rates "44100 48000"]
//                           [--busy] [--stall-after FRAMES] [--min-period-bytes BYTES]
// writes FOLDER/asound.conf and prints its path (the value for ALSA_CONFIG_PATH).
#include "sound_card/sound_card.h"

#include <cstdio>
#include <exception>
#include <string>

namespace
{
    int usage()
    {
        std::fprintf(stderr, "usage: corvane_test_sound_card FOLDER [--file] [--formats LIST] [--rates LIST]"
                             " [--busy] [--stall-after FRAMES] [--min-period-bytes BYTES]"
                             " [--min-periods N]\n");
        return 2;
    }
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    Corvane::Test_Sound_Card card;
    card.folder = argv[1];
    try
    {
        for (int i = 2; i < argc; ++i)
        {
            const std::string option = argv[i];
            const bool has_value = i + 1 < argc;
            if (option == "--file")
                card.sink = Corvane::Test_Sound_Card::Sink::file;
            else if (option == "--busy")
                card.busy = true;
            else if (option == "--formats" && has_value)
                card.formats = argv[++i];
            else if (option == "--rates" && has_value)
                card.rates = argv[++i];
            else if (option == "--stall-after" && has_value)
                card.stall_after = std::stoll(argv[++i]);
            else if (option == "--min-period-bytes" && has_value)
                card.min_period_bytes = std::stoll(argv[++i]);
            else if (option == "--min-periods" && has_value)
                card.min_periods = std::stoll(argv[++i]);
            else
                return usage();
        }
        card.write();
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "corvane_test_sound_card: %s\n", error.what());
        return 1;
    }
    std::printf("%s\n", card.config_path().c_str());
    return 0;
}
