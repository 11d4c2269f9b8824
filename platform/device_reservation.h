// Borrowing the sound card from whoever holds it for the desktop. A desktop's sound server
// keeps every card open; before Corvane opens one exclusively it asks the holder to let go,
// and it gives the card back when it stops playing, so the desktop's sound returns. A
// program that ranks higher may ask Corvane in turn; Corvane then pauses and hands it over.
// Where the system arbitrates exclusive use by itself, reserving is a no-op that answers
// `unmanaged`. One implementation per system.
#pragma once

#include <memory>
#include <string>

namespace Platform
{
    enum class Reservation
    {
        reserved,  // the card is Corvane's until release(), or keep() and its grace
        unmanaged, // nobody to ask (no session, no answer in time): open the card directly
        refused,   // a program of higher or equal rank keeps the card
    };

    // The reservation of one card at a time, held across playback runs. Calls come from the
    // loader and play threads, one at a time; none comes from the main thread, as each may
    // wait for other programs. Construction does nothing that waits.
    class Device_Reservation
    {
    public:
        Device_Reservation();
        ~Device_Reservation(); // gives the card back; waits at most a bus time-out
        Device_Reservation(const Device_Reservation&) = delete;
        Device_Reservation& operator=(const Device_Reservation&) = delete;

        // Loader or play thread, before the card is opened. Reserves card `card` (the
        // system's index), asking its holder to let go if need be. Blocks for at most a few
        // seconds; throws nothing. `card_name` is shown to other programs.
        Reservation acquire(int card, const std::string& card_name);

        // Loader or play thread, with the card closed. Gives the card back now; granted
        // requests of other programs are answered. Blocks briefly; throws nothing.
        void release();

        // Loader or play thread, with the card closed. Keeps the card reserved for the next
        // acquire(): given back after `grace_seconds` (never, when negative) unless acquire()
        // comes first, and at once when another program is promised it. Throws nothing.
        void keep(double grace_seconds);

        // Any thread; does not block. A higher-ranking program asked for the card while it
        // was in use: the run that holds it should stop, close the card and release or keep.
        bool release_requested() const;

        struct State; // one per system
        std::unique_ptr<State> state;
    };
}
