// Writes FLAC files for tests, benchmarks and the demo library with libFLAC's encoder: any
// channel count and bit depth that libFLAC accepts, a tone, a music-like signal or given
// samples, and the damaged kinds a player must survive (cut short, a corrupted frame, a wrong
// length in the header, a frame numbered far ahead, not FLAC at all).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Flac_Fixture
{
    struct Options
    {
        uint32_t sample_rate = 44100; // Hz
        uint32_t bits = 16;           // bits per sample, 4..32
        uint32_t channels = 2;        // 1..8
        double seconds = 1.0;         // length of a generated tone
        double tone = 440.0;          // Hz; 0 gives silence
        double amplitude = 0.5;       // of full scale, 0..1
        int64_t declared_frames = -1; // STREAMINFO total_samples: -1 the true count, 0 unknown
        uint32_t blocksize = 0;       // frames per FLAC frame; 0 leaves libFLAC's choice
        uint32_t compression = 5;     // libFLAC compression level 0..8
        double seek_spacing = 0.0;    // seconds between seek points; 0 writes no seek table
        uint32_t seed = 1;            // of the music-like signal's noise
    };

    // The settings of the `flac` tool when given none: compression 5, its block size, and a
    // seek point every 10 seconds.
    Options flac_defaults(Options options);

    // Interleaved samples of a sine tone, the same in every channel.
    std::vector<int32_t> make_tone(const Options& options);

    // Interleaved samples that compress and decode like music rather than like a tone: in
    // every channel its own changing chords, a slow sweep and pink noise, the whole scaled so
    // that its peak is `amplitude` of full scale.
    std::vector<int32_t> make_music(const Options& options);

    // Encodes `interleaved` (frames x channels) into `path`. Returns the byte offset of every
    // audio frame in the file. Throws std::runtime_error when libFLAC refuses.
    std::vector<uint64_t> write(const std::string& path, const Options& options,
                                const std::vector<int32_t>& interleaved);

    // make_tone + write.
    std::vector<uint64_t> write_tone(const std::string& path, const Options& options);

    // make_music + write.
    std::vector<uint64_t> write_music(const std::string& path, const Options& options);

    // Cuts the file to `size` bytes.
    void truncate(const std::string& path, uint64_t size);

    // Inverts every bit of the byte at `offset`.
    void corrupt(const std::string& path, uint64_t offset);

    // Inverts the last byte of audio frame `frame` (its CRC-16), given the offsets that write
    // returned: the decoder then reports a CRC mismatch for exactly that frame.
    void corrupt_frame_checksum(const std::string& path, const std::vector<uint64_t>& frame_offsets, size_t frame);

    // Gives audio frame `frame` the frame number `number` (fixed-blocksize streams count
    // frames, so its samples claim to start at number x blocksize), with both checksums
    // made good again: a stream that jumps ahead, as a damaged or hostile file can.
    void renumber_frame(const std::string& path, const std::vector<uint64_t>& frame_offsets, size_t frame,
                        uint32_t number);

    // A file that holds no FLAC stream at all.
    void write_not_flac(const std::string& path);

    uint64_t file_size(const std::string& path);
}
