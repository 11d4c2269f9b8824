// Helpers of the playback tests: a scratch music folder made the working directory, FLAC
// fixtures written into it as library nodes, waiting on a Track's flags, and reading back
// the frames that reached the in-memory sound card.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "doubles/memory_audio_device.h"
#include "doubles/message_box_recorder.h"
#include "doubles/realtime_double.h"
#include "flac_fixture.h"
#include "library/file.h"
#include "playback/track.h"
#include "support/poll.h"
#include "support/temp_folder.h"

namespace Playback_Test
{
    using namespace std::chrono_literals;

    class Music_Folder
    {
    public:
        Music_Folder() : working(scratch.path), root(scratch.path) { node = std::make_shared<Corvane::File>(); }

        // A TRACK node directly under the library root for `name`, which is created by `make`.
        std::shared_ptr<Corvane::File> track(const std::string& name)
        {
            auto file = std::make_shared<Corvane::File>();
            file->name = name;
            file->type = Corvane::File::TRACK;
            file->parent = node;
            return file;
        }

        std::shared_ptr<Corvane::File> tone(const std::string& name, const Flac_Fixture::Options& options)
        {
            Flac_Fixture::write_tone(name, options);
            return track(name);
        }

        // Interleaved integer samples at the given depth.
        std::shared_ptr<Corvane::File> samples(const std::string& name, const std::vector<int32_t>& interleaved,
                                               uint32_t channels = 2, uint32_t bits = 16, uint32_t rate = 44100)
        {
            Flac_Fixture::Options options;
            options.channels = channels;
            options.bits = bits;
            options.sample_rate = rate;
            Flac_Fixture::write(name, options, interleaved);
            return track(name);
        }

        Test_Support::Temp_Folder scratch{"corvane-playback"};
        Test_Support::Working_Directory working; // the folder, for the test's length
        std::filesystem::path root;
        std::shared_ptr<Corvane::File> node; // the library root
    };

    // Polls `condition` for up to `limit`; threads communicate through flags, so do the tests.
    inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s)
    {
        return Test_Support::poll_until(condition, limit);
    }

    // A track that has been decoded and whose run has ended (at the end or after a pause).
    inline bool loaded(const Corvane::Track& track)
    {
        return eventually([&] { return !track.loading.load(); });
    }

    inline bool run_ended(const Corvane::Track& track)
    {
        return eventually([&] { return !track.starting.load() && !track.playing.load(); }) &&
               Memory_Audio_Device::wait_until_closed(20s);
    }

    // Memory the process holds now (its resident set), in bytes.
    inline double resident_bytes()
    {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmRSS:", 0) == 0)
                return std::stod(line.substr(6)) * 1024;
        return 0;
    }

    // The sample of one channel in frame `frame` of a buffer, sign-extended from 24 bits.
    inline int32_t sample_at(const std::vector<uint8_t>& bytes, size_t frame, int channel, bool padded)
    {
        const size_t size = padded ? 4 : 3;
        const size_t at = frame * size * 2 + channel * size;
        uint32_t value = 0;
        for (size_t b = 0; b < size; ++b)
            value |= static_cast<uint32_t>(bytes[at + b]) << (8 * b);
        if (padded)
            return static_cast<int32_t>(value) >> 8;
        return static_cast<int32_t>(value << 8) >> 8;
    }

    // Left-channel samples of every buffer handed to the device while the stream ran and
    // not marked silent, in order.
    inline std::vector<int32_t> played_left(bool padded = false)
    {
        std::vector<int32_t> left;
        for (const auto& buffer : Memory_Audio_Device::buffers())
            if (!buffer.silent && buffer.started)
                for (size_t f = 0; f < buffer.bytes.size() / (padded ? 8 : 6); ++f)
                    left.push_back(sample_at(buffer.bytes, f, 0, padded));
        return left;
    }

    // Every test starts with a fresh device, no boxes and a willing real-time class.
    class Playback : public testing::Test
    {
    protected:
        void SetUp() override
        {
            // Death tests fork a process whose threads may still be winding down;
            // re-running the binary is safe where a bare fork is not.
            GTEST_FLAG_SET(death_test_style, "threadsafe");
            Memory_Audio_Device::reset();
            Message_Box_Recorder::clear();
            Realtime_Double::reset(false);
        }

        Music_Folder folder;
    };
}
