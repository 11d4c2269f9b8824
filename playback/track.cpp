// Loading a track: the loader thread decodes the whole file with libFLAC into one array of
// doubles per channel, measures the peak and starts playback. Also the sample read-out with
// 5.1 down-mix and normalisation, fade requests, and the Track's lifetime.
#include "playback/track.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

#include <FLAC/stream_decoder.h>

#include "engine/exception.h"
#include "library/file.h"
#include "platform/file_size.h"
#include "platform/memory.h"
#include "playback/range_decode.h"
#include "playback/track_thread.h"

namespace Corvane
{
    namespace
    {
        const double centre_weight = std::pow(10.0, -3.0 / 20.0); // -3 dB

        // What one decode shares with the libFLAC callbacks.
        struct Decode
        {
            Track* track = nullptr;
            std::string name;         // File::name, for error messages
            int64_t capacity = 0;     // frames each channel array can hold
            int64_t committed = 0;    // frames of each channel array backed by memory
            int64_t decoded = 0;      // frames stored so far
            double peak = 0.0;        // largest down-mixed sample stored so far
            bool in_order = true;     // every frame followed the one before
            bool stream_info = false; // STREAMINFO was seen
            std::exception_ptr error; // first failure inside a callback
        };

        struct Decoder_Deleter
        {
            void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
        };

        Kestrane::Exception decode_error(const std::string& name, const char* status)
        {
            return Kestrane::Exception("Error decoding \"" + name + "\". Error: " + status);
        }

        void free_samples(Track* track)
        {
            if (track->samples)
                for (uint32_t c = 0; c < track->channels; ++c)
                    Platform::free_doubles(track->samples[c]);
            delete[] track->samples;
            track->samples = nullptr;
            track->channels = 0;
        }

        // The arrays of the track before, held until the next decode knows whether it can
        // use them.
        struct Spare_Samples
        {
            std::vector<double*> arrays;

            Spare_Samples() = default;
            Spare_Samples(const Spare_Samples&) = delete;
            Spare_Samples& operator=(const Spare_Samples&) = delete;
            ~Spare_Samples() { release(); }

            void release()
            {
                for (double* array : arrays)
                    Platform::free_doubles(array);
                arrays.clear();
            }
        };

        // Moves the Track's arrays into `spare`, leaving it without samples. A load that failed
        // while reserving them left null ones.
        void take_samples(Track* track, Spare_Samples& spare)
        {
            if (track->samples)
                std::copy_if(track->samples, track->samples + track->channels, std::back_inserter(spare.arrays),
                             [](const double* array) { return array != nullptr; });
            delete[] track->samples;
            track->samples = nullptr;
            track->channels = 0;
        }

        // The decoder threads write every one of `frames` frames, so the track before can lend
        // its arrays: their pages are backed already, which spares the kernel clearing fresh
        // ones while the user waits. What cannot be used stays in `spare`.
        void recycle_samples(Track* track, int64_t frames, Spare_Samples& spare)
        {
            for (uint32_t c = 0; c < track->channels && !spare.arrays.empty(); ++c)
            {
                double* kept = spare.arrays.back();
                spare.arrays.pop_back();
                if (!Platform::trim_doubles(kept, static_cast<size_t>(frames)))
                {
                    Platform::free_doubles(kept);
                    continue;
                }
                Platform::free_doubles(track->samples[c]);
                track->samples[c] = kept;
            }
        }

        // Frames per commit: a huge page of doubles, so that growing costs few system calls.
        constexpr int64_t commit_frames = (int64_t{2} << 20) / sizeof(double);

        // The most frames of `channels` channels that the machine could hold at all.
        int64_t memory_frames(uint32_t channels)
        {
            return static_cast<int64_t>(Platform::memory_size() / sizeof(double) / std::max(channels, 1u));
        }

        // Reserves `channels` arrays for `frames` doubles each; memory follows as frames are
        // stored, so a length that the file only claims costs nothing. The pointer array is
        // in place before any channel array, so a failed allocation leaves nothing that the
        // next load cannot free.
        void allocate_samples(Track* track, uint32_t channels, int64_t frames)
        {
            track->samples = new double*[channels]();
            track->channels = channels;
            for (uint32_t c = 0; c < channels; ++c)
                track->samples[c] = Platform::reserve_doubles(static_cast<size_t>(frames));
        }

        // Makes room for `frames` frames when STREAMINFO promised fewer (or none), keeping
        // what is decoded. A track longer than the machine could hold is refused here.
        void grow_samples(Decode& decode, int64_t frames)
        {
            Track* track = decode.track;
            const int64_t limit = memory_frames(track->channels);
            if (frames > limit)
                throw std::bad_alloc();
            const int64_t capacity = std::min(std::max(frames, decode.capacity * 2), limit);
            for (uint32_t c = 0; c < track->channels; ++c)
            {
                double* grown = Platform::reserve_doubles(static_cast<size_t>(capacity));
                try
                {
                    Platform::commit_doubles(grown, 0, static_cast<size_t>(decode.committed));
                }
                catch (...)
                {
                    Platform::free_doubles(grown);
                    throw;
                }
                std::memcpy(grown, track->samples[c], static_cast<size_t>(decode.decoded) * sizeof(double));
                Platform::free_doubles(track->samples[c]);
                track->samples[c] = grown;
            }
            decode.capacity = capacity;
        }

        void commit_channels(const Decode& decode, int64_t from, int64_t to)
        {
            for (uint32_t c = 0; c < decode.track->channels; ++c)
                Platform::commit_doubles(decode.track->samples[c], static_cast<size_t>(from), static_cast<size_t>(to));
        }

        // Backs frames [from, to) with memory before they are stored, a huge page ahead at a
        // time. A gap the stream skips stays uncommitted and reads as silence; a frame that
        // goes back into one commits just its own range.
        void commit_samples(Decode& decode, int64_t from, int64_t to)
        {
            if (from < decode.decoded)
                commit_channels(decode, from, std::min(to, decode.committed));
            if (to <= decode.committed)
                return;
            const int64_t end = std::min((to + commit_frames - 1) / commit_frames * commit_frames, decode.capacity);
            commit_channels(decode, std::max(from, decode.committed), end);
            decode.committed = end;
        }

        // One side of a frame mixed down to stereo, before normalisation.
        double mix(const Track& track, int64_t frame, bool right)
        {
            double* const* s = track.samples;
            if (track.channels == 2)
                return s[right ? 1 : 0][frame];
            return s[2][frame] * centre_weight + s[right ? 1 : 0][frame] + s[right ? 5 : 4][frame];
        }

        void metadata_callback(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* client_data)
        {
            auto& decode = *static_cast<Decode*>(client_data);
            if (metadata->type != FLAC__METADATA_TYPE_STREAMINFO || decode.stream_info || decode.error)
                return;
            try
            {
                const auto& info = metadata->data.stream_info;
                Track* track = decode.track;
                track->sample_rate = info.sample_rate;
                track->bits_per_sample = info.bits_per_sample;
                // A declared length is only a claim: beyond what the machine could hold it is
                // certainly false, and the arrays grow if the stream really goes on.
                const int64_t frames = std::min(static_cast<int64_t>(info.total_samples), memory_frames(info.channels));
                track->frame_count.store(static_cast<int64_t>(info.total_samples), std::memory_order_relaxed);
                allocate_samples(track, info.channels, frames);
                decode.capacity = frames;
                decode.stream_info = true;
            }
            catch (...)
            {
                decode.error = std::current_exception();
            }
        }

        // STREAMINFO decides, as the arrays were sized from it; channels are checked first.
        void check_format(const Decode& decode, const FLAC__Frame* frame)
        {
            const Track* track = decode.track;
            if (track->channels != 2 && track->channels != 6)
                throw Kestrane::Exception("This track is in an unsupported format. It is not stereo or 5.1.");
            if (track->bits_per_sample != 16 && track->bits_per_sample != 24)
                throw Kestrane::Exception("This track is in an unsupported format. It is not 16 or 24 bit.");
            // A frame with other channels than STREAMINFO would make us read past libFLAC's buffers.
            if (frame->header.channels != track->channels)
                throw decode_error(
                    decode.name,
                    FLAC__StreamDecoderErrorStatusString[FLAC__STREAM_DECODER_ERROR_STATUS_UNPARSEABLE_STREAM]);
        }

        void store_frame(Decode& decode, const FLAC__Frame* frame, const FLAC__int32* const buffer[])
        {
            Track* track = decode.track;
            check_format(decode, frame);
            const auto first = static_cast<int64_t>(frame->header.number.sample_number);
            const uint32_t block = frame->header.blocksize;
            if (first + block > decode.capacity)
                grow_samples(decode, first + block);
            // A stream that skips frames leaves silence in the gap: memory never written
            // reads as zero, and the gap is not committed.
            commit_samples(decode, first, first + block);
            const double divisor = track->bits_per_sample == 16 ? 32767.0 : 8388607.0;
            for (uint32_t c = 0; c < track->channels; ++c)
            {
                double* out = track->samples[c] + first;
                const FLAC__int32* in = buffer[c];
                for (uint32_t i = 0; i < block; ++i)
                    out[i] = in[i] / divisor;
            }
            // The peak is taken while the frame is still in the cache; a stream whose frames
            // overlap or go back gets a scan of the finished arrays instead.
            decode.in_order = decode.in_order && first >= decode.decoded;
            if (decode.in_order)
                decode.peak = std::max(decode.peak, block_peak(*track, first, first + block));
            decode.decoded = std::max(decode.decoded, first + block);
        }

        FLAC__StreamDecoderWriteStatus write_callback(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                      const FLAC__int32* const buffer[], void* client_data)
        {
            auto& decode = *static_cast<Decode*>(client_data);
            if (decode.error)
                return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
            try
            {
                store_frame(decode, frame, buffer);
            }
            catch (...)
            {
                decode.error = std::current_exception();
                return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
            }
            return decode.track->quit.load(std::memory_order_relaxed) ? FLAC__STREAM_DECODER_WRITE_STATUS_ABORT
                                                                      : FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        }

        // libFLAC cannot be told to stop from here; the next write callback aborts.
        void error_callback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client_data)
        {
            auto& decode = *static_cast<Decode*>(client_data);
            if (!decode.error)
                decode.error =
                    std::make_exception_ptr(decode_error(decode.name, FLAC__StreamDecoderErrorStatusString[status]));
        }

        // Decoder threads for the track whose STREAMINFO `decode` has just read: one per core
        // (or the Track's limit), each with at least `frames_per_decoder` frames. A format we
        // do not play, an unknown length or a stream already in trouble stays on one, which
        // reports it.
        uint32_t decoder_count(const Decode& decode, FLAC__StreamDecoderState state)
        {
            const Track* track = decode.track;
            if (!decode.stream_info || decode.error || state != FLAC__STREAM_DECODER_SEARCH_FOR_FRAME_SYNC ||
                (track->channels != 2 && track->channels != 6) ||
                (track->bits_per_sample != 16 && track->bits_per_sample != 24) || decode.capacity <= 0)
                return 1;
            constexpr uint32_t most = 8;
            const uint32_t cores =
                track->decoder_limit ? track->decoder_limit : std::clamp(std::thread::hardware_concurrency(), 1u, most);
            const int64_t by_length = decode.capacity / std::max<int64_t>(track->frames_per_decoder, 1);
            return static_cast<uint32_t>(std::clamp<int64_t>(by_length, 1, cores));
        }

        // Fills the Track from the file, on several threads where the track allows, else (or
        // when `alone`) on this one. Returns false when `quit` stopped the decode.
        bool decode_file(Track* track, const std::string& path, const std::string& name, Spare_Samples& spare,
                         bool alone = false)
        {
            Decode decode;
            decode.track = track;
            decode.name = name;
            std::unique_ptr<FLAC__StreamDecoder, Decoder_Deleter> decoder(FLAC__stream_decoder_new());
            if (!decoder)
                throw std::bad_alloc();
            if (FLAC__stream_decoder_init_file(decoder.get(), path.c_str(), write_callback, metadata_callback,
                                               error_callback, &decode) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
                throw Kestrane::Exception("Could not load \"" + path + "\".");
            FLAC__stream_decoder_process_until_end_of_metadata(decoder.get());
            const uint32_t decoders = alone ? 1 : decoder_count(decode, FLAC__stream_decoder_get_state(decoder.get()));
            track->decoders = decoders;
            if (decoders > 1)
                recycle_samples(track, decode.capacity, spare);
            // The rest goes back now; read front to back, a gap the stream skips must read as silence.
            spare.release();
            if (decoders > 1)
            {
                decoder.reset();
                double peak = 0.0;
                switch (decode_ranges(*track, path, decode.capacity, decoders, peak))
                {
                case Range_Outcome::decoded:
                    track->frame_count.store(decode.capacity, std::memory_order_relaxed);
                    track->peak = peak;
                    return true;
                case Range_Outcome::stopped: return false;
                case Range_Outcome::unusual:
                    // Damage, gaps or a length that STREAMINFO got wrong: read front to back,
                    // which finds the first fault of the stream and reports it as ever.
                    free_samples(track);
                    return decode_file(track, path, name, spare, true);
                }
            }
            const bool finished = FLAC__stream_decoder_process_until_end_of_stream(decoder.get());
            const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder.get());
            decoder.reset();

            if (track->quit.load(std::memory_order_relaxed))
                return false;
            if (decode.error)
                std::rethrow_exception(decode.error);
            // Not FLAC, cut short in the metadata, or libFLAC out of memory: no callback saw it.
            if (!finished || !decode.stream_info)
                throw decode_error(name, FLAC__StreamDecoderStateString[state]);
            // Play what the stream holds, whatever STREAMINFO promised.
            track->frame_count.store(decode.decoded, std::memory_order_relaxed);
            track->peak = decode.in_order ? decode.peak : block_peak(*track, 0, decode.decoded);
            return true;
        }

        void load_body(Track* track)
        {
            std::lock_guard lock(track->mutex);
            // The card stays borrowed from the desktop while the next track decodes.
            track->reservation.keep(-1.0);
            Spare_Samples spare;
            take_samples(track, spare);
            const std::shared_ptr<File> file = track->file;
            const std::string path = full_path(file);
            if (!decode_file(track, path, file->name, spare))
                return; // the Track is going away; `loading` stays set
            track->file_size = static_cast<uint32_t>(Platform::get_file_size(path).value_or(0));
            track->position.store(0, std::memory_order_relaxed);
            // A seek still held when the previous track was left belongs to that track.
            track->seek.store(0, std::memory_order_relaxed);
            track->loading.store(false, std::memory_order_release);
            track->play();
        }
    }

    // Straight loops, as every frame of a track passes here. Excursions below zero count as
    // much as those above: a peak from the positive side alone would raise a track whose
    // deepest troughs are louder than its crests past full scale, and clip them.
    double block_peak(const Track& track, int64_t from, int64_t to)
    {
        double* const* s = track.samples;
        double peak = 0.0;
        if (track.channels == 2)
        {
            for (int64_t i = from; i < to; ++i)
                peak = std::max({peak, std::abs(s[1][i]), std::abs(s[0][i])});
            return peak;
        }
        for (int64_t i = from; i < to; ++i)
        {
            const double centre = s[2][i] * centre_weight;
            peak = std::max({peak, std::abs(centre + s[1][i] + s[5][i]), std::abs(centre + s[0][i] + s[4][i])});
        }
        return peak;
    }

    Track::Track(Kestrane::Window* host) : window(host) {}

    Track::~Track()
    {
        quit.store(true, std::memory_order_relaxed);
        // A loader aborts at its next frame, a play thread fades out and stops, and one still
        // queued on `mutex` gives up as soon as it has the lock.
        while (threads.load(std::memory_order_acquire) != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        free_samples(this);
    }

    void Track::load(std::shared_ptr<File> next)
    {
        if (loading.load(std::memory_order_acquire))
            return;
        file = std::move(next);
        // `loading` before `playing`: a run still opening its stream then either sees the
        // load or has its `playing` cleared after it set it (see the play thread).
        loading.store(true);
        playing.store(false);
        try
        {
            launch_track_thread(this, load_process);
        }
        catch (...)
        {
            loading.store(false, std::memory_order_relaxed);
            throw;
        }
    }

    void Track::load_process(Track* track)
    {
        load_body(track);
    }

    double Track::get_factor() const
    {
        if (!(peak > 0.0))
            return 1.0; // silence stays silence
        const double g = 1.0 / peak;
        return std::abs(1.0 - g) < 0.1 ? 1.0 : g;
    }

    double Track::get_sample(int64_t frame, bool right) const
    {
        return get_factor() * mix(*this, frame, right);
    }

    void Track::set_volume(double target, double seconds)
    {
        fade_from.store(gain.load(std::memory_order_relaxed), std::memory_order_relaxed);
        fade_to.store(std::clamp(target, 0.0, 1.0), std::memory_order_relaxed);
        fade_seconds.store(std::clamp(seconds, 0.01, 10.0), std::memory_order_relaxed);
    }
}
