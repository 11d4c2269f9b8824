// Playback figures on music-like tracks (chords, a sweep and pink noise in every channel,
// peak at 0.9 of full scale, encoded with the `flac` tool's default settings), each against
// a baseline measured in the same run:
// - the time from asking for a track to having it whole in memory with its peak known (the
//   user's wait before the sound), wall and CPU, against libFLAC decoding the same file
//   alone on one thread into nothing (targets: wall <= 0.75 of it for the 96 kHz 24-bit
//   track, <= 0.9 for the 44.1 kHz 16-bit one), and against libFLAC decoding into arrays
//   already in memory. The first load of a freshly started process (fresh memory costs
//   page faults) and the best of later loads (warm) are shown apart. A tone, which
//   compresses far better, is a second line for comparison;
// - peak memory of one load against frame_count x channels x 8 bytes (target <= 1.02), and
//   the resident size after 50 loads against after 5 (target: no growth);
// - the play thread's render time per buffer against the buffer's duration at 192 kHz.
// Usage: bench_playback [--quick] [load|memory|render]
//   --quick: tracks a tenth as long, for a smoke run; a section name runs only that section.
//   (bench_playback --first-load FILE is the child process of the first-load figure.)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <FLAC/stream_decoder.h>
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include "doubles/memory_audio_device.h"
#include "flac_fixture.h"
#include "library/file.h"
#include "playback/track.h"

namespace
{
    using Clock = std::chrono::steady_clock;

    double seconds_since(Clock::time_point start)
    {
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    // CPU time of the whole process: on a machine shared with builds, wall time mostly
    // measures the neighbours.
    double cpu_seconds()
    {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
    }

    struct Cost
    {
        double wall = 1e9; // seconds
        double cpu = 1e9;  // seconds

        void keep_best(const Cost& other)
        {
            wall = std::min(wall, other.wall);
            cpu = std::min(cpu, other.cpu);
        }
    };

    struct Stream_Info
    {
        uint32_t channels = 0;
        uint32_t bits = 0;
        int64_t frames = 0;
    };

    // What the baselines' callbacks share: where to put the samples, if anywhere.
    struct Baseline
    {
        Stream_Info info;
        std::vector<std::vector<double>>* arrays = nullptr; // null: decode alone
    };

    void baseline_metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* data)
    {
        auto& b = *static_cast<Baseline*>(data);
        if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO)
            return;
        b.info.channels = metadata->data.stream_info.channels;
        b.info.bits = metadata->data.stream_info.bits_per_sample;
        b.info.frames = static_cast<int64_t>(metadata->data.stream_info.total_samples);
    }

    FLAC__StreamDecoderWriteStatus baseline_write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                  const FLAC__int32* const buffer[], void* data)
    {
        auto& b = *static_cast<Baseline*>(data);
        if (!b.arrays)
            return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        const double divisor = b.info.bits == 16 ? 32767.0 : 8388607.0;
        const auto first = frame->header.number.sample_number;
        for (size_t c = 0; c < b.arrays->size(); ++c)
        {
            double* out = (*b.arrays)[c].data() + first;
            for (uint32_t i = 0; i < frame->header.blocksize; ++i)
                out[i] = buffer[c][i] / divisor;
        }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    void baseline_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

    // libFLAC on one thread over the whole file, the samples stored in `arrays` (already in
    // memory, sized by stream_info) or, without them, dropped: the decode alone.
    Cost baseline_decode(const std::string& path, std::vector<std::vector<double>>* arrays)
    {
        const auto start = Clock::now();
        const double cpu = cpu_seconds();
        Baseline b;
        b.arrays = arrays;
        FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
        FLAC__stream_decoder_init_file(decoder, path.c_str(), baseline_write, baseline_metadata, baseline_error, &b);
        FLAC__stream_decoder_process_until_end_of_stream(decoder);
        FLAC__stream_decoder_delete(decoder);
        return {seconds_since(start), cpu_seconds() - cpu};
    }

    Stream_Info stream_info(const std::string& path)
    {
        Baseline b;
        FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
        FLAC__stream_decoder_init_file(decoder, path.c_str(), baseline_write, baseline_metadata, baseline_error, &b);
        FLAC__stream_decoder_process_until_end_of_metadata(decoder);
        FLAC__stream_decoder_delete(decoder);
        return b.info;
    }

    std::shared_ptr<Corvane::File> node(const std::string& name)
    {
        static auto root = std::make_shared<Corvane::File>();
        auto file = std::make_shared<Corvane::File>();
        file->name = name;
        file->type = Corvane::File::TRACK;
        file->parent = root;
        return file;
    }

    // A device that keeps time, so that a run started by a load costs next to nothing.
    Memory_Audio_Device::Settings paced()
    {
        Memory_Audio_Device::Settings settings;
        settings.pace = Memory_Audio_Device::Pace::paced;
        settings.speed = 10.0;
        return settings;
    }

    // Track::load without its thread: the loader's body runs on this thread, like the
    // baseline, so that neither a waiting thread nor a second core blurs the comparison.
    // Starting a thread costs some tens of microseconds more in the player.
    Cost track_load(Corvane::Track& track, const std::shared_ptr<Corvane::File>& file)
    {
        const auto start = Clock::now();
        const double cpu = cpu_seconds();
        track.playing = false;
        track.file = file;
        track.loading = true;
        Corvane::Track::load_process(&track);
        return {seconds_since(start), cpu_seconds() - cpu};
    }

    // Pauses the run the load started and waits until its stream is closed.
    void pause(Corvane::Track& track)
    {
        while (track.starting.load())
            std::this_thread::yield();
        track.playing = false;
        Memory_Audio_Device::wait_until_closed(std::chrono::seconds(30));
    }

    long status_kib(const char* field)
    {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind(field, 0) == 0)
                return std::stol(line.substr(std::strlen(field)));
        return -1;
    }

    void reset_peak_rss()
    {
        std::ofstream("/proc/self/clear_refs") << "5";
    }

    struct Fixture
    {
        std::string name;
        Flac_Fixture::Options options;
        double target = 0.0; // largest load wall time as a share of the decode alone; 0 none
        bool tone = false;   // a tone instead of the music-like signal
    };

    void write_fixture(const Fixture& fixture)
    {
        if (fixture.tone)
            Flac_Fixture::write_tone(fixture.name, fixture.options);
        else
            Flac_Fixture::write_music(fixture.name, fixture.options);
    }

    // The first load of a freshly started player: this program again, as a child process
    // that loads the track once and prints its wall and CPU seconds.
    Cost first_load(const std::string& name)
    {
        const std::string command = "/proc/" + std::to_string(::getpid()) + "/exe --first-load '" + name + "'";
        std::FILE* child = ::popen(command.c_str(), "r");
        Cost cost;
        if (!child || std::fscanf(child, "%lf %lf", &cost.wall, &cost.cpu) != 2)
            std::printf("(the first-load child gave no figures)\n");
        if (child)
            ::pclose(child);
        return cost;
    }

    int first_load_child(const std::string& name)
    {
        Memory_Audio_Device::reset(paced());
        Corvane::Track track(nullptr);
        const Cost cost = track_load(track, node(name));
        std::printf("%.6f %.6f\n", cost.wall, cost.cpu);
        std::fflush(stdout);
        pause(track);
        return 0;
    }

    void bench_load(const Fixture& fixture)
    {
        const auto file = node(fixture.name);
        const Stream_Info info = stream_info(fixture.name);
        std::vector<std::vector<double>> touched(info.channels,
                                                 std::vector<double>(static_cast<size_t>(info.frames), 1.0));
        Cost alone, into_touched, warm, one_decoder;
        uint32_t decoders = 0;
        const Cost first = first_load(fixture.name);
        for (int round = 0; round < 4; ++round)
        {
            alone.keep_best(baseline_decode(fixture.name, nullptr));
            into_touched.keep_best(baseline_decode(fixture.name, &touched));
            Memory_Audio_Device::reset(paced());
            Corvane::Track track(nullptr);
            warm.keep_best(track_load(track, file));
            decoders = track.decoders;
            pause(track);
            // The same load read front to back by one decoder: what the split wins here, where
            // a busy machine may leave it no second core.
            Memory_Audio_Device::reset(paced());
            Corvane::Track alone_track(nullptr);
            alone_track.decoder_limit = 1;
            one_decoder.keep_best(track_load(alone_track, file));
            pause(alone_track);
        }
        std::printf("load %s (%u decoder threads, %u cores)\n", fixture.name.c_str(), decoders,
                    std::thread::hardware_concurrency());
        std::printf("  libFLAC decode alone, one thread:    %6.3f s wall %6.3f s cpu\n", alone.wall, alone.cpu);
        std::printf("  libFLAC decode into touched arrays:  %6.3f s wall %6.3f s cpu  (ratio to decode alone %.3f)\n",
                    into_touched.wall, into_touched.cpu, into_touched.wall / alone.wall);
        const auto line = [&](const char* what, const Cost& load)
        {
            std::printf("  %-36s %6.3f s wall %6.3f s cpu  ratio to decode alone: wall %.3f cpu %.3f%s\n", what,
                        load.wall, load.cpu, load.wall / alone.wall, load.cpu / alone.cpu,
                        fixture.target > 0 ? (load.wall / alone.wall <= fixture.target ? "  (wall target met)"
                                                                                       : "  (wall target NOT met)")
                                           : "");
        };
        line("Corvane load, first in its process:", first);
        line("Corvane load, warm (best of 4):", warm);
        line("  the same on one decoder thread:", one_decoder);
        std::printf("  split over one decoder thread: wall %.3f cpu %.3f\n", warm.wall / one_decoder.wall,
                    warm.cpu / one_decoder.cpu);
        if (fixture.target > 0)
            std::printf("  target: wall <= %.2f of the decode alone\n", fixture.target);
    }

    void bench_memory(const Fixture& fixture)
    {
        const auto file = node(fixture.name);
        Memory_Audio_Device::reset(paced());
        Corvane::Track track(nullptr);
        const long before = status_kib("VmRSS:");
        reset_peak_rss();
        track_load(track, file);
        const long peak = status_kib("VmHWM:");
        const double arrays = static_cast<double>(track.frame_count.load()) * track.channels * 8 / 1024;
        std::printf("memory %-26s peak growth %8ld KiB  arrays %8.0f KiB  ratio %.4f (target <= 1.02)\n",
                    fixture.name.c_str(), peak - before, arrays, (peak - before) / arrays);
        pause(track);
    }

    void bench_repeated_loads(const Fixture& fixture)
    {
        const auto file = node(fixture.name);
        Memory_Audio_Device::reset(paced());
        Corvane::Track track(nullptr);
        long after_five = 0;
        for (int load = 1; load <= 50; ++load)
        {
            Memory_Audio_Device::reset(paced());
            track_load(track, file);
            pause(track);
            if (load == 5)
                after_five = status_kib("VmRSS:");
        }
        const long after_fifty = status_kib("VmRSS:");
        std::printf("50 loads of %-23s RSS after 5: %ld KiB  after 50: %ld KiB  ratio %.4f (target <= 1.0)\n",
                    fixture.name.c_str(), after_five, after_fifty, static_cast<double>(after_fifty) / after_five);
    }

    // Renders a whole track on the free-running device: every buffer is due at once, so the
    // time between the first and the last buffer is the pure render time.
    void bench_render(const Fixture& fixture)
    {
        const auto file = node(fixture.name);
        std::mutex mutex;
        Clock::time_point first, last;
        int buffers = 0;
        Memory_Audio_Device::Settings settings;
        settings.minimum_period = 30000;
        settings.keep_bytes = false;
        settings.on_release = [&](int release)
        {
            std::lock_guard lock(mutex);
            if (release == 1)
                first = Clock::now();
            last = Clock::now();
            buffers = release;
        };
        Memory_Audio_Device::reset(settings);
        Corvane::Track track(nullptr);
        track.volume = 1.0;
        track.load(file);
        while (track.position.load() < track.frame_count.load() || track.loading.load() ||
               track.frame_count.load() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Memory_Audio_Device::wait_until_closed(std::chrono::seconds(60));
        std::lock_guard lock(mutex);
        const double frames_per_buffer = 30000.0 * fixture.options.sample_rate / 1e7;
        const double buffer_seconds = frames_per_buffer / fixture.options.sample_rate;
        const double per_buffer = std::chrono::duration<double>(last - first).count() / (buffers - 1);
        std::printf("render %-26s %.2f us per %.0f-frame buffer of %.0f us: ratio %.4f of real time\n",
                    fixture.name.c_str(), per_buffer * 1e6, frames_per_buffer, buffer_seconds * 1e6,
                    per_buffer / buffer_seconds);
    }
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--first-load")
        return first_load_child(argv[2]);
    bool quick = false;
    std::string only;
    for (int i = 1; i < argc; ++i)
    {
        if (std::string(argv[i]) == "--quick")
            quick = true;
        else
            only = argv[i];
    }
    auto wanted = [&](const char* section) { return only.empty() || only == section; };
    // Every array fresh from the system, for the baseline as for the player: glibc would
    // otherwise keep freed arrays of a few MB and hand them out again already in memory.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    const double scale = quick ? 0.1 : 1.0;
    const auto folder =
        std::filesystem::temp_directory_path() / ("corvane-bench-playback-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);

    auto options = [&](uint32_t rate, uint32_t bits, uint32_t channels, double seconds)
    {
        Flac_Fixture::Options o;
        o.sample_rate = rate;
        o.bits = bits;
        o.channels = channels;
        o.seconds = seconds * scale;
        o.amplitude = 0.9;
        return Flac_Fixture::flac_defaults(o);
    };
    const std::vector<Fixture> loads{{"5min_44100_16_stereo.flac", options(44100, 16, 2, 300), 0.9},
                                     {"5min_96000_24_stereo.flac", options(96000, 24, 2, 300), 0.75},
                                     {"3min_48000_24_5.1.flac", options(48000, 24, 6, 180)},
                                     {"5min_44100_16_stereo_tone.flac", options(44100, 16, 2, 300), 0.0, true}};
    const std::vector<Fixture> renders{{"192000_24_stereo.flac", options(192000, 24, 2, 20)},
                                       {"192000_24_5.1.flac", options(192000, 24, 6, 20)}};
    const Fixture repeated{"30s_44100_16_stereo.flac", options(44100, 16, 2, 30)};

    const auto start = Clock::now();
    for (const auto& f : loads)
        if (wanted("load") || (wanted("memory") && !f.tone))
            write_fixture(f);
    for (const auto& f : renders)
        if (wanted("render"))
            write_fixture(f);
    if (wanted("memory"))
        write_fixture(repeated);
    std::printf("fixtures written in %.1f s\n", seconds_since(start));

    for (const auto& f : loads)
        if (wanted("load"))
            bench_load(f);
    for (const auto& f : loads)
        if (wanted("memory") && !f.tone)
            bench_memory(f);
    if (wanted("memory"))
        bench_repeated_loads(repeated);
    for (const auto& f : renders)
        if (wanted("render"))
            bench_render(f);

    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    return 0;
}
