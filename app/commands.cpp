// The command steps of each frame: keys and the browser's pick turned into actions on the
// player, the library order and the screen.
#include "app/application.h"

#include <algorithm>

namespace Corvane
{
    namespace
    {
        constexpr int key_a = 'A', key_c = 'C', key_d = 'D', key_e = 'E', key_q = 'Q';
        constexpr int key_s = 'S', key_w = 'W', key_x = 'X', key_z = 'Z';

        void change_volume(Track& track, double by)
        {
            track.volume = std::clamp(track.volume + by, 0.0, 1.0);
            track.set_volume(track.volume, 0.01);
        }
    }

    float& volume_hold_rate()
    {
        static float rate = 0.0f;
        return rate;
    }

    int64_t seek_step(int64_t frame_count, float dt)
    {
        // At full width: a long track at a low frame rate seeks far in one frame.
        return static_cast<int64_t>(static_cast<float>(frame_count / 3) * dt + 0.5f);
    }

    void Application::commands()
    {
        const auto& pressed = window.pressed;
        if (pressed[key_x])
            show_waveform = !show_waveform;

        // The pick is taken once: the browser, which would clear it next, is not drawn while the
        // waveform shows, and a pick left standing would restart the track after every load.
        const bool picked = library.selection_changed;
        library.selection_changed = false;
        if (picked && library.selection && library.selection->type == File::TRACK)
        {
            shuffle = false;
            play_file(library.selection);
        }

        if (pressed[key_w] && !scanning())
            shuffle = library.shuffle_next(track);

        if (pressed[key_s] && track.file)
        {
            if (!active())
                track.play();
            else
                track.pause();
        }

        if (track.file && track.position == track.frame_count)
        {
            if (shuffle)
                library.shuffle_next(track);
            else
                play_file(library.step(track.file, Directory::Direction::forward, Directory::Reach::past));
        }

        if (active())
            active_commands();
    }

    void Application::active_commands()
    {
        const auto& pressed = window.pressed;
        const auto& held = window.held;
        const float dt = window.delta_time;
        float& rate = volume_hold_rate();

        if (pressed[key_q])
            change_volume(track, -0.01);
        if (pressed[key_e])
            change_volume(track, 0.01);
        if (held[key_q] && rate > 0.03f)
            change_volume(track, -double(rate) * dt);
        if (held[key_e] && rate > 0.03f)
            change_volume(track, double(rate) * dt);
        if (!held[key_q] && !held[key_e])
            rate = 0.0f;
        else if (rate < 1.0f)
            rate += dt / 6.0f;

        const int64_t step = seek_step(track.frame_count, dt);
        if (held[key_a])
            add_seek(track.seek, -step);
        if (held[key_d])
            add_seek(track.seek, step);

        if (held[key_z])
        {
            shuffle = false;
            play_file(library.step(track.file, Directory::Direction::backward, Directory::Reach::past));
        }
        if (held[key_c])
        {
            shuffle = false;
            play_file(library.step(track.file, Directory::Direction::forward, Directory::Reach::past));
        }
    }
}
