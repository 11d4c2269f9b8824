// Command line of the fixture writer, for scripts, end-to-end tests and the demo library:
//   flac_fixture out.flac [--rate 44100] [--bits 16] [--channels 2] [--seconds 1] [--tone 440]
//                [--amplitude 0.5] [--declare-frames N] [--blocksize N] [--compression 5]
//                [--music] [--flac-defaults] [--seek-spacing S]
//                [--truncate-bytes N] [--corrupt-frame K] [--not-flac]
// --music writes the music-like signal (chords, a sweep and pink noise in every channel)
// instead of the tone; --flac-defaults takes the `flac` tool's own settings (compression 5,
// 4096-frame blocks, a seek point every 10 s).
// --corrupt-frame damages the checksum at the end of audio frame K, so that every decoder
// finds the same fault (a CRC mismatch) there.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "flac_fixture.h"

namespace
{
    struct Command
    {
        std::string path;
        Flac_Fixture::Options options;
        int64_t truncate_bytes = -1; // cut the file to this size after writing
        int64_t corrupt_frame = -1;  // damage the middle of this audio frame
        bool not_flac = false;
        bool music = false;
    };

    [[noreturn]] void usage(const std::string& problem)
    {
        std::fprintf(stderr,
                     "flac_fixture: %s\n"
                     "usage: flac_fixture OUT.flac [--rate HZ] [--bits N] [--channels N] [--seconds S] [--tone HZ]\n"
                     "       [--amplitude 0..1] [--declare-frames N] [--blocksize N] [--compression 0..8]\n"
                     "       [--music] [--flac-defaults] [--seek-spacing S]\n"
                     "       [--truncate-bytes N] [--corrupt-frame K] [--not-flac]\n",
                     problem.c_str());
        std::exit(2);
    }

    double number(int argc, char** argv, int& i)
    {
        if (i + 1 >= argc)
            usage(std::string("missing value after ") + argv[i]);
        char* end = nullptr;
        const double value = std::strtod(argv[++i], &end);
        if (*end != '\0')
            usage(std::string("not a number: ") + argv[i]);
        return value;
    }

    Command parse(int argc, char** argv)
    {
        Command command;
        for (int i = 1; i < argc; ++i)
        {
            const std::string arg = argv[i];
            auto& o = command.options;
            if (arg == "--rate")
                o.sample_rate = static_cast<uint32_t>(number(argc, argv, i));
            else if (arg == "--bits")
                o.bits = static_cast<uint32_t>(number(argc, argv, i));
            else if (arg == "--channels")
                o.channels = static_cast<uint32_t>(number(argc, argv, i));
            else if (arg == "--seconds")
                o.seconds = number(argc, argv, i);
            else if (arg == "--tone")
                o.tone = number(argc, argv, i);
            else if (arg == "--amplitude")
                o.amplitude = number(argc, argv, i);
            else if (arg == "--declare-frames")
                o.declared_frames = static_cast<int64_t>(number(argc, argv, i));
            else if (arg == "--blocksize")
                o.blocksize = static_cast<uint32_t>(number(argc, argv, i));
            else if (arg == "--compression")
                o.compression = static_cast<uint32_t>(number(argc, argv, i));
            else if (arg == "--truncate-bytes")
                command.truncate_bytes = static_cast<int64_t>(number(argc, argv, i));
            else if (arg == "--corrupt-frame")
                command.corrupt_frame = static_cast<int64_t>(number(argc, argv, i));
            else if (arg == "--not-flac")
                command.not_flac = true;
            else if (arg == "--music")
                command.music = true;
            else if (arg == "--flac-defaults")
                o = Flac_Fixture::flac_defaults(o);
            else if (arg == "--seek-spacing")
                o.seek_spacing = number(argc, argv, i);
            else if (!arg.empty() && arg[0] != '-' && command.path.empty())
                command.path = arg;
            else
                usage("unknown argument " + arg);
        }
        if (command.path.empty())
            usage("no output file given");
        return command;
    }

    void run(const Command& command)
    {
        if (command.not_flac)
        {
            Flac_Fixture::write_not_flac(command.path);
            return;
        }
        const auto frames = command.music ? Flac_Fixture::write_music(command.path, command.options)
                                          : Flac_Fixture::write_tone(command.path, command.options);
        if (command.corrupt_frame >= 0)
        {
            const auto k = static_cast<size_t>(command.corrupt_frame);
            if (k >= frames.size())
                usage("the file has only " + std::to_string(frames.size()) + " frames");
            Flac_Fixture::corrupt_frame_checksum(command.path, frames, k);
        }
        if (command.truncate_bytes >= 0)
            Flac_Fixture::truncate(command.path, static_cast<uint64_t>(command.truncate_bytes));
    }
}

int main(int argc, char** argv)
{
    try
    {
        run(parse(argc, argv));
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "flac_fixture: %s\n", e.what());
        return 1;
    }
    return 0;
}
