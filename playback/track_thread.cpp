// Loader and play threads of the Track (see track_thread.h).
#include "playback/track_thread.h"

#include <exception>

#include "engine/error.h"
#include "platform/thread.h"

namespace Corvane
{
    namespace
    {
        void run(Track* track, void (*body)(Track*))
        {
            try
            {
                body(track);
            }
            catch (...)
            {
                Kestrane::show_fatal_error(Kestrane::handle_of(track->window), Kestrane::current_exception_message());
            }
            // The last access to the Track: once the count is zero its destructor may finish.
            track->threads.fetch_sub(1, std::memory_order_release);
        }
    }

    void launch_track_thread(Track* track, void (*body)(Track*))
    {
        track->threads.fetch_add(1, std::memory_order_relaxed);
        try
        {
            Platform::start_thread([track, body] { run(track, body); });
        }
        catch (...)
        {
            track->threads.fetch_sub(1, std::memory_order_release);
            throw;
        }
    }
}
