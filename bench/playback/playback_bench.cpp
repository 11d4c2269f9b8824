// Playback figures, each against a baseline measured in the same run:
// - load time (decode + peak) of long tracks against a minimal libFLAC program that decodes
//   into fresh per-channel double arrays and takes the peak (target ratio <= 1.0);
// - peak memory of one load against frame_count x channels x 8 bytes (target <= 1.02), and
//   the resident size after 50 loads against after 5 (target: no growth);
// - the play thread's render time per buffer against the buffer's duration at 192 kHz.
// Usage: bench_playback [--quick] [load|memory|render]
//   --quick: tracks a tenth as long, for a smoke run; a section name runs only that section.
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

    // The baseline: what any libFLAC program must do at least to have the track in memory.
    struct Baseline
    {
        std::vector<std::unique_ptr<double[]>> channels;
        uint32_t bits = 0;
        double peak = 0.0;
    };

    void baseline_metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* data)
    {
        auto& b = *static_cast<Baseline*>(data);
        if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO)
            return;
        b.bits = metadata->data.stream_info.bits_per_sample;
        for (uint32_t c = 0; c < metadata->data.stream_info.channels; ++c)
            b.channels.emplace_back(new double[metadata->data.stream_info.total_samples]);
    }

    FLAC__StreamDecoderWriteStatus baseline_write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                  const FLAC__int32* const buffer[], void* data)
    {
        auto& b = *static_cast<Baseline*>(data);
        const double divisor = b.bits == 16 ? 32767.0 : 8388607.0;
        const auto first = frame->header.number.sample_number;
        for (size_t c = 0; c < b.channels.size(); ++c)
            for (uint32_t i = 0; i < frame->header.blocksize; ++i)
                b.channels[c][first + i] = buffer[c][i] / divisor;
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    void baseline_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

    Cost baseline_load(const std::string& path, int64_t frames)
    {
        const auto start = Clock::now();
        const double cpu = cpu_seconds();
        Baseline b;
        FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
        FLAC__stream_decoder_init_file(decoder, path.c_str(), baseline_write, baseline_metadata, baseline_error, &b);
        FLAC__stream_decoder_process_until_end_of_stream(decoder);
        FLAC__stream_decoder_delete(decoder);
        const double k = std::pow(10.0, -3.0 / 20.0);
        double peak = 0.0;
        if (b.channels.size() == 2)
            for (int64_t i = 0; i < frames; ++i)
                peak = std::max({peak, b.channels[0][i], b.channels[1][i]});
        else
            for (int64_t i = 0; i < frames; ++i)
            {
                const double centre = b.channels[2][i] * k;
                peak = std::max(
                    {peak, centre + b.channels[0][i] + b.channels[4][i], centre + b.channels[1][i] + b.channels[5][i]});
            }
        b.peak = peak;
        const Cost cost{seconds_since(start), cpu_seconds() - cpu};
        if (b.peak <= 0.0)
            std::printf("(baseline peak %f)\n", b.peak);
        return cost;
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
    };

    void bench_load(const Fixture& fixture)
    {
        const auto file = node(fixture.name);
        const auto frames = static_cast<int64_t>(fixture.options.seconds * fixture.options.sample_rate + 0.5);
        Cost baseline, player;
        for (int round = 0; round < 5; ++round)
        {
            baseline.keep_best(baseline_load(fixture.name, frames));
            Memory_Audio_Device::reset(paced());
            Corvane::Track track(nullptr);
            player.keep_best(track_load(track, file));
            pause(track);
        }
        std::printf("load %-26s wall: track %6.3f s baseline %6.3f s ratio %.3f | cpu: track %6.3f s baseline %6.3f s "
                    "ratio %.3f (target <= 1.0)\n",
                    fixture.name.c_str(), player.wall, baseline.wall, player.wall / baseline.wall, player.cpu,
                    baseline.cpu, player.cpu / baseline.cpu);
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
        o.amplitude = 0.8;
        return o;
    };
    const std::vector<Fixture> loads{{"5min_44100_16_stereo.flac", options(44100, 16, 2, 300)},
                                     {"5min_96000_24_stereo.flac", options(96000, 24, 2, 300)},
                                     {"3min_48000_24_5.1.flac", options(48000, 24, 6, 180)}};
    const std::vector<Fixture> renders{{"192000_24_stereo.flac", options(192000, 24, 2, 20)},
                                       {"192000_24_5.1.flac", options(192000, 24, 6, 20)}};
    const Fixture repeated{"30s_44100_16_stereo.flac", options(44100, 16, 2, 30)};

    const auto start = Clock::now();
    for (const auto& f : loads)
        Flac_Fixture::write_tone(f.name, f.options);
    for (const auto& f : renders)
        Flac_Fixture::write_tone(f.name, f.options);
    Flac_Fixture::write_tone(repeated.name, repeated.options);
    std::printf("fixtures written in %.1f s\n", seconds_since(start));

    for (const auto& f : loads)
        if (wanted("load"))
            bench_load(f);
    for (const auto& f : loads)
        if (wanted("memory"))
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
