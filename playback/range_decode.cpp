// Several libFLAC decoders over one file, each on its own range of frames (see
// range_decode.h). Every range must come out exactly as the one-thread decode would store
// it; anything else is left to that decode.
#include "playback/range_decode.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "platform/memory.h"
#include "playback/track.h"

namespace Corvane
{
    namespace
    {
        // One decoder's part of the track and how it went. Written by its own thread only,
        // read by the loader after that thread has ended.
        struct Range
        {
            Track* track = nullptr;
            int64_t start = 0;    // first frame stored
            int64_t end = 0;      // frames stored stop here
            int64_t frames = 0;   // frames the arrays hold
            bool last = false;    // decodes on to the end of the stream
            int64_t next = -1;    // the frame after the last one stored; -1 before any
            double peak = 0.0;    // largest down-mixed sample stored
            bool seeking = false; // inside the seek to `start`
            bool reached_end = false;
            bool usual = true; // nothing that needs the one-thread decode
            // Byte offsets just past the frame holding `start` and the one holding `end`. The
            // ranges together read what the one-thread decode reads only if each begins in the
            // very frame where the one before it ended. A stream that jumps ahead and later goes
            // back is in order inside every range (libFLAC fills the jump with silence), yet the
            // one-thread decode ends with the frames that come later.
            uint64_t start_frame_end = 0;
            uint64_t end_frame_end = 0;
        };

        struct Decoder_Deleter
        {
            void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
        };

        // Frames [first, to) of a decoded FLAC frame into the arrays.
        void store(Range& range, const FLAC__Frame* frame, const FLAC__int32* const buffer[], int64_t to)
        {
            Track& track = *range.track;
            const auto first = static_cast<int64_t>(frame->header.number.sample_number);
            const double divisor = track.bits_per_sample == 16 ? 32767.0 : 8388607.0;
            const auto count = static_cast<uint32_t>(to - first);
            for (uint32_t c = 0; c < track.channels; ++c)
            {
                double* out = track.samples[c] + first;
                const FLAC__int32* in = buffer[c];
                for (uint32_t i = 0; i < count; ++i)
                    out[i] = in[i] / divisor;
            }
            range.peak = std::max(range.peak, block_peak(track, first, to));
        }

        FLAC__StreamDecoderWriteStatus end_range(Range& range, uint64_t frame_end)
        {
            range.end_frame_end = frame_end;
            range.reached_end = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }

        FLAC__StreamDecoderWriteStatus write_callback(const FLAC__StreamDecoder* decoder, const FLAC__Frame* frame,
                                                      const FLAC__int32* const buffer[], void* client_data)
        {
            Range& range = *static_cast<Range*>(client_data);
            if (range.track->quit.load(std::memory_order_relaxed))
                return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
            const auto first = static_cast<int64_t>(frame->header.number.sample_number);
            const int64_t after = first + frame->header.blocksize;
            // The seek hands over the frame that holds `start`, cut to begin there.
            const int64_t expected = range.next < 0 ? range.start : range.next;
            const bool holds_end = !range.last && after > range.end;
            // It costs a system call, so it is asked only where the ranges meet.
            FLAC__uint64 frame_end = 0;
            if (frame->header.channels != range.track->channels || first != expected || after > range.frames ||
                ((range.next < 0 || holds_end) && !FLAC__stream_decoder_get_decode_position(decoder, &frame_end)))
            {
                range.usual = false;
                return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
            }
            if (range.next < 0)
                range.start_frame_end = frame_end;
            // A range that ends where a frame ends reads the next one too, to know where it lies.
            if (!range.last && first >= range.end)
                return end_range(range, frame_end);
            store(range, frame, buffer, holds_end ? range.end : after);
            range.next = after;
            return holds_end ? end_range(range, frame_end) : FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        }

        // While seeking, libFLAC may land inside a frame and report the lost sync it then
        // finds; the range before this one decodes that part and hears of real damage.
        void error_callback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* client_data)
        {
            Range& range = *static_cast<Range*>(client_data);
            if (!range.seeking)
                range.usual = false;
        }

        // Backs the range with memory before its first frame: the arrays are only reserved.
        // The pages are then touched first by this thread, so a fresh track's page faults are
        // spread over the decoder threads as well.
        void commit_range(const Range& range)
        {
            const Track& track = *range.track;
            const int64_t to = range.last ? range.frames : range.end;
            for (uint32_t c = 0; c < track.channels; ++c)
                Platform::commit_doubles(track.samples[c], static_cast<size_t>(range.start), static_cast<size_t>(to));
        }

        void decode_range(Range& range, const std::string& path)
        {
            commit_range(range);
            std::unique_ptr<FLAC__StreamDecoder, Decoder_Deleter> decoder(FLAC__stream_decoder_new());
            if (!decoder ||
                FLAC__stream_decoder_init_file(decoder.get(), path.c_str(), write_callback, nullptr, error_callback,
                                               &range) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
            {
                range.usual = false;
                return;
            }
            // The first range reads from the first frame, as the one-thread decode does.
            range.seeking = range.start > 0;
            const bool sought = !range.seeking || FLAC__stream_decoder_seek_absolute(
                                                      decoder.get(), static_cast<FLAC__uint64>(range.start));
            range.seeking = false;
            if (!range.reached_end && range.usual && !range.track->quit.load(std::memory_order_relaxed))
            {
                if (!sought)
                {
                    range.usual = false;
                    return;
                }
                FLAC__stream_decoder_process_until_end_of_stream(decoder.get());
            }
            const bool whole =
                range.last ? FLAC__stream_decoder_get_state(decoder.get()) == FLAC__STREAM_DECODER_END_OF_STREAM &&
                                 range.next == range.frames
                           : range.reached_end;
            range.usual = range.usual && whole;
        }

        void run(Range& range, const std::string& path)
        {
            try
            {
                decode_range(range, path);
            }
            catch (...)
            {
                range.usual = false; // out of memory: the one-thread decode reports it
            }
        }

        // The decoder threads of one load, joined however it ends.
        struct Decoder_Threads
        {
            ~Decoder_Threads()
            {
                for (std::thread& thread : threads)
                    thread.join();
            }

            std::vector<std::thread> threads;
        };
    }

    Range_Outcome decode_ranges(Track& track, const std::string& path, int64_t frames, uint32_t count, double& peak)
    {
        std::vector<Range> ranges(count);
        for (uint32_t k = 0; k < count; ++k)
        {
            Range& range = ranges[k];
            range.track = &track;
            range.start = frames * k / count;
            range.end = frames * (k + 1) / count;
            range.frames = frames;
            range.last = k + 1 == count;
        }
        {
            Decoder_Threads threads;
            try
            {
                for (uint32_t k = 1; k < count; ++k)
                    threads.threads.emplace_back(run, std::ref(ranges[k]), std::cref(path));
            }
            catch (...)
            {
                for (size_t k = threads.threads.size() + 1; k < count; ++k)
                    ranges[k].usual = false; // never started
            }
            run(ranges[0], path);
        }
        if (track.quit.load(std::memory_order_relaxed))
            return Range_Outcome::stopped;
        peak = 0.0;
        for (uint32_t k = 0; k < count; ++k)
        {
            if (!ranges[k].usual || (k > 0 && ranges[k].start_frame_end != ranges[k - 1].end_frame_end))
                return Range_Outcome::unusual;
            peak = std::max(peak, ranges[k].peak);
        }
        return Range_Outcome::decoded;
    }
}
