// The tests' virtual sound card: an ALSA I/O plugin (type `corvane_test`) that behaves like a
// simple playback card without any hardware. It takes interleaved stereo frames, consumes
// them at the stream's own rate (a timer stands in for the card's clock, so a whole track
// takes as long as the track), appends every frame it is given to a capture file and writes
// one line per event to a log. Its configuration can make it refuse formats or rates, report
// itself busy, stall (stop consuming for good) or suspend once, so tests drive the player's
// real ALSA code path through every outcome. See README.md beside this file.
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace
{
    struct Card_Config
    {
        std::string capture; // file that receives every frame written
        std::string log;     // event log, one line per event; empty: none
        std::vector<unsigned> formats{SND_PCM_FORMAT_S24_3LE, SND_PCM_FORMAT_S32_LE};
        std::vector<unsigned> rates{8000,  11025, 16000, 22050,  32000,  44100,  48000,
                                    64000, 88200, 96000, 176400, 192000, 352800, 384000};
        bool busy = false;               // every open fails with EBUSY
        std::string busy_file;           // opens fail with EBUSY while this file exists
        long long stall_after = -1;      // frames consumed before the card stalls; -1: never
        std::string stall_file;          // the card stalls once this file exists
        std::string suspend_file;        // the card suspends once when this file appears
        long long min_period_bytes = 64; // shortest period the card allows, in bytes
        long long min_periods = 2;       // fewest periods the card's buffer may hold
    };

    struct Card
    {
        snd_pcm_ioplug_t io{};
        Card_Config config;
        int timer = -1; // timerfd ticking once per period while running
        FILE* capture = nullptr;
        FILE* log = nullptr;
        unsigned frame_bytes = 0;
        snd_pcm_uframes_t avail_min = 1; // frames
        uint64_t written = 0;            // frames taken since the last prepare
        uint64_t consumed = 0;           // frames played since the last prepare
        uint64_t consumed_at_start = 0;  // `consumed` when the clock was last started
        uint64_t lifetime_consumed = 0;  // frames played since open, for stall_after
        int64_t start_ns = 0;            // monotonic time of the last start or resume
        bool running = false;
        bool xrun = false;
        bool stalled = false; // stays set until the card is closed
    };

    bool file_exists(const std::string& path)
    {
        struct stat info;
        return !path.empty() && stat(path.c_str(), &info) == 0;
    }

    int64_t now_ns()
    {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    }

    void log_event(Card& card, const std::string& line)
    {
        if (card.log)
        {
            std::fprintf(card.log, "%s\n", line.c_str());
            std::fflush(card.log);
        }
    }

    // Ticks every `period_ns`; 0 disarms, 1 fires once at once.
    void set_timer(Card& card, int64_t period_ns)
    {
        itimerspec timing{};
        if (period_ns > 1)
        {
            timing.it_interval.tv_sec = period_ns / 1000000000;
            timing.it_interval.tv_nsec = period_ns % 1000000000;
        }
        timing.it_value.tv_sec = period_ns / 1000000000;
        timing.it_value.tv_nsec = period_ns % 1000000000;
        timerfd_settime(card.timer, 0, &timing, nullptr);
    }

    int64_t period_ns(const Card& card)
    {
        return int64_t(card.io.period_size) * 1000000000 / card.io.rate;
    }

    // Stops consuming at `frames` played; the poll descriptor goes quiet so waits time out.
    void stall(Card& card, uint64_t frames)
    {
        card.lifetime_consumed += frames - card.consumed;
        card.consumed = frames;
        card.stalled = true;
        set_timer(card, 0);
        log_event(card, "stall");
    }

    void underrun(Card& card)
    {
        card.lifetime_consumed += card.written - card.consumed;
        card.consumed = card.written;
        card.xrun = true;
        card.running = false;
        snd_pcm_ioplug_set_state(&card.io, SND_PCM_STATE_XRUN);
        set_timer(card, 1); // wake a waiting application so it sees the xrun
        log_event(card, "xrun");
    }

    void suspend(Card& card)
    {
        unlink(card.config.suspend_file.c_str());
        card.running = false;
        snd_pcm_ioplug_set_state(&card.io, SND_PCM_STATE_SUSPENDED);
        set_timer(card, 1);
        log_event(card, "suspend");
    }

    // Advances the play position to what the clock says has been played by now.
    void update(Card& card)
    {
        if (!card.running || card.xrun || card.stalled)
            return;
        if (file_exists(card.config.suspend_file))
            return suspend(card);
        if (file_exists(card.config.stall_file))
            return stall(card, card.consumed);
        const auto elapsed = uint64_t(now_ns() - card.start_ns);
        const uint64_t played = elapsed / 1000000000 * card.io.rate + elapsed % 1000000000 * card.io.rate / 1000000000;
        const uint64_t due = card.consumed_at_start + played;
        if (card.config.stall_after >= 0)
        {
            // Where the stream stalls, counted like `consumed`; stall_after is never passed.
            const uint64_t limit = card.consumed + (uint64_t(card.config.stall_after) - card.lifetime_consumed);
            if (due >= limit && limit <= card.written)
                return stall(card, limit);
        }
        if (due > card.written)
            return underrun(card);
        card.lifetime_consumed += due - card.consumed;
        card.consumed = due;
    }

    Card& card_of(snd_pcm_ioplug_t* io)
    {
        return *static_cast<Card*>(io->private_data);
    }

    int card_start(snd_pcm_ioplug_t* io)
    {
        Card& card = card_of(io);
        card.running = true;
        card.start_ns = now_ns();
        card.consumed_at_start = card.consumed;
        if (!card.stalled)
            set_timer(card, period_ns(card));
        log_event(card, "start");
        return 0;
    }

    int card_stop(snd_pcm_ioplug_t* io)
    {
        Card& card = card_of(io);
        update(card);
        card.running = false;
        set_timer(card, 0);
        // What the stop throws away, so that a test can tell silence from music.
        log_event(card, "stop " + std::to_string(card.written - card.consumed) + " unplayed");
        return 0;
    }

    snd_pcm_sframes_t card_pointer(snd_pcm_ioplug_t* io)
    {
        Card& card = card_of(io);
        update(card);
        if (card.xrun)
            return -EPIPE;
        return snd_pcm_sframes_t(card.consumed % io->buffer_size);
    }

    snd_pcm_sframes_t card_transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas, snd_pcm_uframes_t offset,
                                    snd_pcm_uframes_t size)
    {
        Card& card = card_of(io);
        const auto* bytes =
            static_cast<const unsigned char*>(areas[0].addr) + (areas[0].first + offset * areas[0].step) / 8;
        if (std::fwrite(bytes, card.frame_bytes, size, card.capture) != size || std::fflush(card.capture) != 0)
            return -EIO;
        card.written += size;
        return snd_pcm_sframes_t(size);
    }

    int card_hw_params(snd_pcm_ioplug_t* io, snd_pcm_hw_params_t*)
    {
        Card& card = card_of(io);
        card.frame_bytes = unsigned(snd_pcm_format_physical_width(io->format)) / 8 * io->channels;
        card.avail_min = io->period_size;
        std::ostringstream line;
        line << "hw_params " << io->rate << ' ' << snd_pcm_format_name(io->format) << ' ' << io->channels << ' '
             << io->period_size << ' ' << io->buffer_size;
        log_event(card, line.str());
        return 0;
    }

    int card_sw_params(snd_pcm_ioplug_t* io, snd_pcm_sw_params_t* params)
    {
        snd_pcm_uframes_t avail_min = 1;
        if (snd_pcm_sw_params_get_avail_min(params, &avail_min) == 0)
            card_of(io).avail_min = avail_min;
        return 0;
    }

    int card_prepare(snd_pcm_ioplug_t* io)
    {
        Card& card = card_of(io);
        card.written = 0;
        card.consumed = 0;
        card.running = false;
        card.xrun = false;
        set_timer(card, 0);
        log_event(card, "prepare");
        return 0;
    }

    int card_resume(snd_pcm_ioplug_t* io)
    {
        Card& card = card_of(io);
        if (io->state != SND_PCM_STATE_SUSPENDED)
            return 0;
        snd_pcm_ioplug_set_state(io, SND_PCM_STATE_RUNNING);
        card_start(io);
        log_event(card, "resume");
        return 0;
    }

    int card_poll_revents(snd_pcm_ioplug_t* io, struct pollfd* descriptors, unsigned int count, unsigned short* revents)
    {
        Card& card = card_of(io);
        uint64_t ticks;
        while (read(card.timer, &ticks, sizeof ticks) == sizeof ticks)
        {
        }
        update(card);
        *revents = 0;
        if (count > 0 && (descriptors[0].revents & (POLLERR | POLLNVAL)))
            *revents = POLLERR;
        else if (io->state == SND_PCM_STATE_XRUN || io->state == SND_PCM_STATE_SUSPENDED)
            *revents = POLLERR;
        else if (io->buffer_size - (card.written - card.consumed) >= card.avail_min)
            *revents = POLLOUT;
        return 0;
    }

    void free_resources(Card* card);

    int card_close(snd_pcm_ioplug_t* io)
    {
        log_event(card_of(io), "close");
        free_resources(&card_of(io));
        return 0;
    }

    const snd_pcm_ioplug_callback_t& callbacks()
    {
        static const snd_pcm_ioplug_callback_t table = []
        {
            snd_pcm_ioplug_callback_t c{};
            c.start = card_start;
            c.stop = card_stop;
            c.pointer = card_pointer;
            c.transfer = card_transfer;
            c.close = card_close;
            c.hw_params = card_hw_params;
            c.sw_params = card_sw_params;
            c.prepare = card_prepare;
            c.resume = card_resume;
            c.poll_revents = card_poll_revents;
            return c;
        }();
        return table;
    }

    int read_string(snd_config_t* node, std::string& value)
    {
        const char* text = nullptr;
        const int result = snd_config_get_string(node, &text);
        if (result == 0)
            value = text;
        return result;
    }

    int read_list(snd_config_t* node, std::vector<unsigned>& values, bool formats)
    {
        std::string text;
        if (const int result = read_string(node, text); result < 0)
            return result;
        values.clear();
        std::istringstream words(text);
        for (std::string word; words >> word;)
        {
            if (formats)
            {
                const snd_pcm_format_t format = snd_pcm_format_value(word.c_str());
                if (format == SND_PCM_FORMAT_UNKNOWN)
                    return -EINVAL;
                values.push_back(unsigned(format));
            }
            else
                values.push_back(unsigned(std::stoul(word)));
        }
        return 0;
    }

    int read_integer(snd_config_t* node, long long& value)
    {
        long number = 0;
        const int result = snd_config_get_integer(node, &number);
        if (result == 0)
            value = number;
        return result;
    }

    int read_field(snd_config_t* node, const std::string& id, Card_Config& config)
    {
        if (id == "comment" || id == "type" || id == "hint")
            return 0;
        if (id == "capture")
            return read_string(node, config.capture);
        if (id == "log")
            return read_string(node, config.log);
        if (id == "formats")
            return read_list(node, config.formats, true);
        if (id == "rates")
            return read_list(node, config.rates, false);
        if (id == "busy")
            return (config.busy = snd_config_get_bool(node) > 0), 0;
        if (id == "busy_file")
            return read_string(node, config.busy_file);
        if (id == "stall_after")
            return read_integer(node, config.stall_after);
        if (id == "stall_file")
            return read_string(node, config.stall_file);
        if (id == "suspend_file")
            return read_string(node, config.suspend_file);
        if (id == "min_period_bytes")
            return read_integer(node, config.min_period_bytes);
        if (id == "min_periods")
            return read_integer(node, config.min_periods);
        SNDERR("corvane_test: unknown field %s", id.c_str());
        return -EINVAL;
    }

    int read_config(snd_config_t* conf, Card_Config& config)
    {
        snd_config_iterator_t i, next;
        snd_config_for_each(i, next, conf)
        {
            snd_config_t* node = snd_config_iterator_entry(i);
            const char* id = nullptr;
            if (snd_config_get_id(node, &id) < 0)
                continue;
            if (const int result = read_field(node, id, config); result < 0)
            {
                SNDERR("corvane_test: invalid value for %s", id);
                return result;
            }
        }
        if (config.capture.empty())
        {
            SNDERR("corvane_test: no capture file");
            return -EINVAL;
        }
        return 0;
    }

    int set_constraints(Card& card)
    {
        snd_pcm_ioplug_t* io = &card.io;
        const unsigned access = SND_PCM_ACCESS_RW_INTERLEAVED;
        const auto min_period = unsigned(card.config.min_period_bytes);
        int result = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, &access);
        if (result >= 0)
            result = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, unsigned(card.config.formats.size()),
                                                   card.config.formats.data());
        if (result >= 0)
            result = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 2, 2);
        if (result >= 0)
            result = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_RATE, unsigned(card.config.rates.size()),
                                                   card.config.rates.data());
        if (result >= 0)
            result = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, min_period, 1u << 22);
        if (result >= 0)
            result =
                snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, unsigned(card.config.min_periods), 64);
        if (result >= 0)
            result = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 2 * min_period, 1u << 24);
        return result;
    }

    // Files and timer for a card whose configuration is read; the ioplug is not created yet.
    int open_resources(Card& card)
    {
        card.timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (card.timer < 0)
            return -errno;
        card.capture = std::fopen(card.config.capture.c_str(), "ab");
        if (!card.capture)
            return -errno;
        if (!card.config.log.empty())
        {
            card.log = std::fopen(card.config.log.c_str(), "a");
            if (!card.log)
                return -errno;
        }
        return 0;
    }

    void free_resources(Card* card)
    {
        if (card->timer >= 0)
            close(card->timer);
        if (card->capture)
            std::fclose(card->capture);
        if (card->log)
            std::fclose(card->log);
        delete card;
    }

    int open_card(snd_pcm_t** pcm, const char* name, snd_config_t* conf, snd_pcm_stream_t stream, int mode)
    {
        if (stream != SND_PCM_STREAM_PLAYBACK)
            return -EINVAL;
        auto* card = new Card;
        int result = read_config(conf, card->config);
        if (result >= 0 && (card->config.busy || file_exists(card->config.busy_file)))
            result = -EBUSY;
        if (result >= 0)
            result = open_resources(*card);
        // One substream, like most cards: a second open fails while a handle is open, in this
        // process or another. The lock on the capture file goes with its descriptor at close.
        if (result >= 0 && flock(fileno(card->capture), LOCK_EX | LOCK_NB) != 0)
            result = -EBUSY;
        if (result < 0)
        {
            free_resources(card);
            return result;
        }
        card->io.version = SND_PCM_IOPLUG_VERSION;
        card->io.name = "Corvane test sound card";
        card->io.flags = SND_PCM_IOPLUG_FLAG_MONOTONIC;
        card->io.poll_fd = card->timer;
        card->io.poll_events = POLLIN;
        card->io.mmap_rw = 0;
        card->io.callback = &callbacks();
        card->io.private_data = card;
        result = snd_pcm_ioplug_create(&card->io, name, stream, mode);
        if (result < 0)
        {
            free_resources(card);
            return result;
        }
        log_event(*card, "open");
        result = set_constraints(*card);
        if (result < 0)
        {
            snd_pcm_ioplug_delete(&card->io); // calls card_close
            return result;
        }
        *pcm = card->io.pcm;
        return 0;
    }
}

extern "C"
{
    SND_PCM_PLUGIN_DEFINE_FUNC(corvane_test)
    {
        (void)root;
        return open_card(pcmp, name, conf, stream, mode);
    }
    SND_PCM_PLUGIN_SYMBOL(corvane_test)
}
