// How the Track starts its loader and play threads: detached, counted, and with every
// failure shown to the user instead of ending in std::terminate.
#pragma once

#include "playback/track.h"

namespace Corvane
{
    // Starts a detached thread running `body(track)`. The Track counts the thread until its
    // last access: `~Track` waits for the count to reach zero. An exception escaping `body` is
    // shown through the fatal-error box, which ends the process. Throws std::system_error when
    // no thread can be created (the count is then left unchanged).
    void launch_track_thread(Track* track, void (*body)(Track*));
}
