// libFLAC's stream encoder behind a small interface for fixtures (see flac_fixture.h).
#include "flac_fixture.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>

#include <FLAC/metadata.h>
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

        FLAC__StreamEncoderWriteStatus write_callback(const FLAC__StreamEncoder*, const FLAC__byte buffer[],
                                                      size_t bytes, uint32_t samples, uint32_t, void* client_data)
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
            return std::fseek(sink->file, static_cast<long>(offset), SEEK_SET) == 0
                       ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
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

        // Frame numbers are coded like UTF-8, extended to 36 bits.
        std::vector<uint8_t> code_number(uint64_t value)
        {
            if (value < 0x80)
                return {static_cast<uint8_t>(value)};
            size_t length = 2;
            while (length < 7 && value >= (uint64_t{1} << (5 * length + 1)))
                ++length;
            std::vector<uint8_t> coded(length);
            for (size_t i = length - 1; i > 0; --i, value >>= 6)
                coded[i] = static_cast<uint8_t>(0x80 | (value & 0x3F));
            const auto lead = static_cast<uint8_t>(length == 7 ? 0xFE : (0xFF00 >> length) & 0xFF);
            coded[0] = static_cast<uint8_t>(lead | value);
            return coded;
        }

        size_t coded_length(uint8_t lead)
        {
            size_t length = 0;
            while (length < 8 && (lead & (0x80 >> length)))
                ++length;
            return length == 0 ? 1 : length;
        }

        uint8_t crc8(const std::vector<uint8_t>& bytes)
        {
            uint8_t crc = 0;
            for (uint8_t byte : bytes)
            {
                crc ^= byte;
                for (int bit = 0; bit < 8; ++bit)
                    crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
            }
            return crc;
        }

        uint16_t crc16(const std::vector<uint8_t>& bytes)
        {
            uint16_t crc = 0;
            for (uint8_t byte : bytes)
            {
                crc ^= static_cast<uint16_t>(byte << 8);
                for (int bit = 0; bit < 8; ++bit)
                    crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1);
            }
            return crc;
        }

        struct Metadata_Deleter
        {
            void operator()(FLAC__StreamMetadata* block) const { FLAC__metadata_object_delete(block); }
        };

        using Metadata = std::unique_ptr<FLAC__StreamMetadata, Metadata_Deleter>;

        // A seek table template the encoder fills in as it writes; it needs the true length.
        Metadata seek_table(const Options& options, uint64_t frames)
        {
            if (options.seek_spacing <= 0.0 || options.declared_frames >= 0 || frames == 0)
                return nullptr;
            Metadata table(FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE));
            const auto spacing = static_cast<uint32_t>(options.seek_spacing * options.sample_rate);
            if (!table ||
                !FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(table.get(), spacing, frames))
                throw std::runtime_error("libFLAC could not make a seek table");
            return table;
        }

        // Pink noise by Paul Kellet's filter of white noise: about -3 dB per octave.
        struct Pink_Noise
        {
            std::mt19937 engine;
            std::uniform_real_distribution<double> white{-1.0, 1.0};
            double b[7] = {};

            double next()
            {
                const double w = white(engine);
                b[0] = 0.99886 * b[0] + w * 0.0555179;
                b[1] = 0.99332 * b[1] + w * 0.0750759;
                b[2] = 0.96900 * b[2] + w * 0.1538520;
                b[3] = 0.86650 * b[3] + w * 0.3104856;
                b[4] = 0.55000 * b[4] + w * 0.5329522;
                b[5] = -0.7616 * b[5] - w * 0.0168980;
                const double pink = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362;
                b[6] = w * 0.115926;
                return pink * 0.11;
            }
        };

        // One channel of the music-like signal, before scaling. Each partial turns by a
        // fixed rotation per sample, so that minutes of it are written in seconds.
        std::vector<double> music_channel(const Options& options, uint64_t frames, uint32_t channel)
        {
            // Chords of four notes with two overtones each, a new one every two seconds.
            static const double roots[] = {110.0, 146.83, 130.81, 98.0, 164.81, 123.47};
            static const double intervals[] = {1.0, 1.2599, 1.4983, 2.0};
            const double rate = options.sample_rate;
            const double two_pi = 2.0 * std::numbers::pi;
            const auto chord_frames = static_cast<uint64_t>(2.0 * rate);
            Pink_Noise noise{std::mt19937(options.seed * 7919u + channel)};
            std::vector<double> out(frames);
            std::vector<std::complex<double>> partials, steps;
            std::vector<double> weights;
            std::complex<double> sweep{1.0, 0.0}, sweep_step{1.0, 0.0};
            for (uint64_t i = 0; i < frames; ++i)
            {
                const double t = static_cast<double>(i) / rate;
                if (i % chord_frames == 0)
                {
                    const double root = roots[(i / chord_frames + channel) % 6] * (1.0 + 0.003 * channel);
                    partials.clear(), steps.clear(), weights.clear();
                    for (double interval : intervals)
                        for (int overtone = 1; overtone <= 3; ++overtone)
                        {
                            partials.push_back(std::polar(1.0, 1.0 + channel + overtone));
                            steps.push_back(std::polar(1.0, two_pi * root * interval * overtone / rate));
                            weights.push_back(1.0 / (overtone * overtone));
                        }
                }
                // A sweep up and down through 200 Hz .. 8 kHz every 20 seconds.
                if (i % 64 == 0)
                {
                    const double hz = 200.0 * std::pow(40.0, 0.5 - 0.5 * std::cos(two_pi * t / 20.0));
                    sweep_step = std::polar(1.0, two_pi * hz / rate);
                    sweep /= std::abs(sweep);
                }
                double tone = 0.0;
                for (size_t p = 0; p < partials.size(); ++p)
                {
                    tone += partials[p].imag() * weights[p];
                    partials[p] *= steps[p];
                }
                sweep *= sweep_step;
                const double envelope = 0.6 + 0.4 * std::sin(two_pi * t * 0.25 + channel);
                out[i] = 0.12 * tone * envelope + 0.15 * sweep.imag() + 0.08 * noise.next();
            }
            return out;
        }

        void configure(FLAC__StreamEncoder* encoder, const Options& options, uint64_t frames)
        {
            bool ok = FLAC__stream_encoder_set_channels(encoder, options.channels) &&
                      FLAC__stream_encoder_set_bits_per_sample(encoder, options.bits) &&
                      FLAC__stream_encoder_set_sample_rate(encoder, options.sample_rate) &&
                      FLAC__stream_encoder_set_compression_level(encoder, options.compression) &&
                      FLAC__stream_encoder_set_streamable_subset(encoder, false);
            // Without a seek callback the encoder cannot go back to fix STREAMINFO, so the
            // estimate is what a reader finds there.
            const uint64_t declared =
                options.declared_frames < 0 ? frames : static_cast<uint64_t>(options.declared_frames);
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

    Options flac_defaults(Options options)
    {
        options.compression = 5;
        options.blocksize = 4096;
        options.seek_spacing = 10.0;
        return options;
    }

    std::vector<int32_t> make_music(const Options& options)
    {
        const auto frames = static_cast<uint64_t>(options.seconds * options.sample_rate + 0.5);
        std::vector<std::vector<double>> channels;
        double peak = 0.0;
        for (uint32_t c = 0; c < options.channels; ++c)
        {
            channels.push_back(music_channel(options, frames, c));
            for (double v : channels.back())
                peak = std::max(peak, std::abs(v));
        }
        const double full_scale = std::ldexp(1.0, static_cast<int>(options.bits) - 1) - 1.0;
        const double scale = peak > 0.0 ? options.amplitude * full_scale / peak : 0.0;
        std::vector<int32_t> samples(frames * options.channels);
        for (uint64_t i = 0; i < frames; ++i)
            for (uint32_t c = 0; c < options.channels; ++c)
                samples[i * options.channels + c] = static_cast<int32_t>(std::lround(channels[c][i] * scale));
        return samples;
    }

    std::vector<uint64_t> write(const std::string& path, const Options& options,
                                const std::vector<int32_t>& interleaved)
    {
        if (options.channels == 0 || interleaved.size() % options.channels != 0)
            throw std::runtime_error("the sample count is not a whole number of frames");
        const uint64_t frames = interleaved.size() / options.channels;

        std::unique_ptr<FLAC__StreamEncoder, Encoder_Deleter> encoder(FLAC__stream_encoder_new());
        if (!encoder)
            throw std::runtime_error("libFLAC could not create an encoder");
        configure(encoder.get(), options, frames);
        Metadata table = seek_table(options, frames);
        FLAC__StreamMetadata* blocks[] = {table.get()};
        if (table && !FLAC__stream_encoder_set_metadata(encoder.get(), blocks, 1))
            throw std::runtime_error("libFLAC refused the seek table");

        std::unique_ptr<std::FILE, File_Closer> file(std::fopen(path.c_str(), "w+b"));
        if (!file)
            throw std::runtime_error("cannot create " + path);
        Sink sink{file.get(), {}};
        const bool exact = options.declared_frames < 0;
        const auto status =
            FLAC__stream_encoder_init_stream(encoder.get(), write_callback, exact ? seek_callback : nullptr,
                                             exact ? tell_callback : nullptr, nullptr, &sink);
        if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK)
            throw std::runtime_error(std::string("libFLAC encoder: ") + FLAC__StreamEncoderInitStatusString[status] +
                                     " / " + FLAC__stream_encoder_get_resolved_state_string(encoder.get()));

        const uint64_t chunk = 4096;
        for (uint64_t done = 0; done < frames; done += chunk)
        {
            const auto count = static_cast<uint32_t>(std::min(chunk, frames - done));
            if (!FLAC__stream_encoder_process_interleaved(encoder.get(), interleaved.data() + done * options.channels,
                                                          count))
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

    std::vector<uint64_t> write_music(const std::string& path, const Options& options)
    {
        return write(path, options, make_music(options));
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

    void renumber_frame(const std::string& path, const std::vector<uint64_t>& frame_offsets, size_t frame,
                        uint32_t number)
    {
        std::vector<uint8_t> bytes;
        {
            std::ifstream in(path, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        const size_t start = frame_offsets.at(frame);
        const size_t end = frame + 1 < frame_offsets.size() ? frame_offsets[frame + 1] : bytes.size();
        std::vector<uint8_t> header(bytes.begin() + start, bytes.begin() + start + 4);
        const size_t old_number = coded_length(bytes[start + 4]);
        const std::vector<uint8_t> coded = code_number(number);
        header.insert(header.end(), coded.begin(), coded.end());
        // The blocksize and rate codes that add bytes after the number.
        const uint8_t block_code = bytes[start + 2] >> 4, rate_code = bytes[start + 2] & 0x0F;
        const size_t extra = (block_code == 6   ? 1
                              : block_code == 7 ? 2
                                                : 0) +
                             (rate_code == 12                      ? 1
                              : rate_code >= 13 && rate_code <= 14 ? 2
                                                                   : 0);
        const size_t rest = start + 4 + old_number;
        header.insert(header.end(), bytes.begin() + rest, bytes.begin() + rest + extra);
        header.push_back(crc8(header));
        std::vector<uint8_t> renumbered = header;
        renumbered.insert(renumbered.end(), bytes.begin() + rest + extra + 1, bytes.begin() + end - 2);
        const uint16_t footer = crc16(renumbered);
        renumbered.push_back(static_cast<uint8_t>(footer >> 8));
        renumbered.push_back(static_cast<uint8_t>(footer));
        bytes.erase(bytes.begin() + start, bytes.begin() + end);
        bytes.insert(bytes.begin() + start, renumbered.begin(), renumbered.end());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + path);
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
