// Decoding one track on several threads at once. FLAC frames stand alone, so libFLAC
// decoders over the same file, each started at its own frame by seeking, fill disjoint
// ranges of the Track's arrays and take the peak of their own range; the load then takes
// about the time of its longest range instead of the whole track's.
#pragma once

#include <cstdint>
#include <string>

namespace Corvane
{
    class Track;

    enum class Range_Outcome
    {
        decoded, // every frame stored, in order, and the peak known
        stopped, // `quit` was set
        unusual, // a stream one decoder must read front to back: an error, a gap, a frame
                 // out of order or beyond `frames`, another channel count, a failed seek,
                 // ranges that do not meet in one frame
    };

    // The loader thread; blocks until every decoder thread has ended. Decodes the frames
    // [0, frames) of `path` into the Track's arrays, which hold `frames` frames, its
    // `channels` and `bits_per_sample` already set, in `ranges` parts, one per thread (the
    // calling thread takes the first). `peak` is the largest down-mixed sample, as the
    // one-thread decode measures it. Throws nothing: whatever goes wrong is `unusual`, and
    // the arrays are then in no particular state.
    Range_Outcome decode_ranges(Track& track, const std::string& path, int64_t frames, uint32_t ranges, double& peak);

    // The largest down-mixed sample of frames [from, to) of the Track, signed: only
    // positive excursions count. Any thread.
    double block_peak(const Track& track, int64_t from, int64_t to);
}
