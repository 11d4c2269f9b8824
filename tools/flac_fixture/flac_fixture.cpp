// libFLAC's stream encoder behind a small interface for fixtures (see flac_fixture.h).
#include "flac_fixture.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <stdexcept>

#include <FLAC/stream_encoder.h>

namespace Flac_Fixture
{
    namespace
    {
        struct Sink
        {
            std::FILE* file = nullptr;
            std::vector<uint64_t> frame_offsets;
        };

        FLAC__StreamEncoderWriteStatus write_callback(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                                      uint32_t samples, uint32_t, void* client_data)
        {
            auto* sink = static_cast<Sink*>(client_data);
            if (samples > 0)
                sink->frame_offsets.push_back(static_cast<uint64_t>(std::ftell(sink->file)));
            if (std::fwrite(buffer, 1, bytes, sink->file) != bytes)
                return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        }

        FLAC__StreamEncoderSeekStatus seek_callback(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* client_data)
        {
            auto* sink = static_cast<Sink*>(client_data);
            return std::fseek(sink->file, static_cast<long>(offset), SEEK_SET) == 0 ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                                                                   : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        }

        FLAC__StreamEncoderTellStatus tell_callback(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* client_data)
        {
            auto* sink = static_cast<Sink*>(client_data);
            *offset = static_cast<FLAC__uint64>(std::ftell(sink->file));
            return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
        }

        struct Encoder_Deleter
        {
            void operator()(FLAC__StreamEncoder* encoder) const { FLAC__stream_encoder_delete(encoder); }
        };

        struct File_Closer
        {
            void operator()(std::FILE* file) const { std::fclose(file); }
        };

        void configure(FLAC__StreamEncoder* encoder, const Options& options, uint64_t frames)
        {
            bool ok = FLAC__stream_encoder_set_channels(encoder, options.channels) &&
                      FLAC__stream_encoder_set_bits_per_sample(encoder, options.bits) &&
                      FLAC__stream_encoder_set_sample_rate(encoder, options.sample_rate) &&
                      FLAC__stream_encoder_set_compression_level(encoder, options.compression) &&
                      FLAC__stream_encoder_set_streamable_subset(encoder, false);
            // Without a seek callback the encoder cannot go back to fix STREAMINFO, so the
            // estimate is what a reader finds there.
            const uint64_t declared = options.declared_frames < 0 ? frames : static_cast<uint64_t>(options.declared_frames);
            ok = ok && FLAC__stream_encoder_set_total_samples_estimate(encoder, declared);
            if (options.blocksize)
                ok = ok && FLAC__stream_encoder_set_blocksize(encoder, options.blocksize);
            if (!ok)
                throw std::runtime_error("libFLAC refused the encoder settings");
        }
    }

    std::vector<int32_t> make_tone(const Options& options)
    {
        const auto frames = static_cast<uint64_t>(options.seconds * options.sample_rate + 0.5);
        const double full_scale = std::ldexp(1.0, static_cast<int>(options.bits) - 1) - 1.0;
        std::vector<int32_t> samples(frames * options.channels);
        for (uint64_t i = 0; i < frames; ++i)
        {
            const double phase = 2.0 * std::numbers::pi * options.tone * static_cast<double>(i) / options.sample_rate;
            const auto value = static_cast<int32_t>(std::lround(options.amplitude * full_scale * std::sin(phase)));
            for (uint32_t c = 0; c < options.channels; ++c)
                samples[i * options.channels + c] = value;
        }
        return samples;
    }

    std::vector<uint64_t> write(const std::string& path, const Options& options, const std::vector<int32_t>& interleaved)
    {
        if (options.channels == 0 || interleaved.size() % options.channels != 0)
            throw std::runtime_error("the sample count is not a whole number of frames");
        const uint64_t frames = interleaved.size() / options.channels;

        std::unique_ptr<FLAC__StreamEncoder, Encoder_Deleter> encoder(FLAC__stream_encoder_new());
        if (!encoder)
            throw std::runtime_error("libFLAC could not create an encoder");
        configure(encoder.get(), options, frames);

        std::unique_ptr<std::FILE, File_Closer> file(std::fopen(path.c_str(), "w+b"));
        if (!file)
            throw std::runtime_error("cannot create " + path);
        Sink sink{file.get(), {}};
        const bool exact = options.declared_frames < 0;
        const auto status = FLAC__stream_encoder_init_stream(encoder.get(), write_callback, exact ? seek_callback : nullptr,
                                                             exact ? tell_callback : nullptr, nullptr, &sink);
        if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK)
            throw std::runtime_error(std::string("libFLAC encoder: ") + FLAC__StreamEncoderInitStatusString[status] + " / " +
                                     FLAC__stream_encoder_get_resolved_state_string(encoder.get()));

        const uint64_t chunk = 4096;
        for (uint64_t done = 0; done < frames; done += chunk)
        {
            const auto count = static_cast<uint32_t>(std::min(chunk, frames - done));
            if (!FLAC__stream_encoder_process_interleaved(encoder.get(), interleaved.data() + done * options.channels, count))
                throw std::runtime_error(std::string("libFLAC encoder: ") +
                                         FLAC__stream_encoder_get_resolved_state_string(encoder.get()));
        }
        if (!FLAC__stream_encoder_finish(encoder.get()))
            throw std::runtime_error(std::string("libFLAC encoder could not finish: ") +
                                     FLAC__stream_encoder_get_resolved_state_string(encoder.get()));
        return sink.frame_offsets;
    }

    std::vector<uint64_t> write_tone(const std::string& path, const Options& options)
    {
        return write(path, options, make_tone(options));
    }

    void truncate(const std::string& path, uint64_t size)
    {
        std::filesystem::resize_file(path, size);
    }

    void corrupt(const std::string& path, uint64_t offset)
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(static_cast<std::streamoff>(offset));
        const int byte = file.get();
        if (!file)
            throw std::runtime_error("cannot read byte " + std::to_string(offset) + " of " + path);
        file.seekp(static_cast<std::streamoff>(offset));
        file.put(static_cast<char>(~byte));
    }

    void corrupt_frame_checksum(const std::string& path, const std::vector<uint64_t>& frame_offsets, size_t frame)
    {
        const uint64_t end = frame + 1 < frame_offsets.size() ? frame_offsets[frame + 1] : file_size(path);
        corrupt(path, end - 1);
    }

    void write_not_flac(const std::string& path)
    {
        std::ofstream file(path, std::ios::binary);
        for (int i = 0; i < 200; ++i)
            file << "This is a text file that only pretends to be music. ";
        if (!file)
            throw std::runtime_error("cannot write " + path);
    }

    uint64_t file_size(const std::string& path)
    {
        return std::filesystem::file_size(path);
    }
}
