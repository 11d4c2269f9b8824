// A private session bus for the reservation tests, and the test owner of a card on it: a
// real dbus-daemon started for the test, and corvane_test_reservation_owner, which stands
// in for a sound server (or JACK) that reserves the tests' virtual card. See
// reservation_owner.cpp for what the owner does and logs.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace Corvane
{
    // `dbus-daemon --session` of the test's own, ended with the object.
    struct Test_Session_Bus
    {
        Test_Session_Bus(); // throws std::runtime_error when the daemon does not start
        ~Test_Session_Bus();
        Test_Session_Bus(const Test_Session_Bus&) = delete;
        Test_Session_Bus& operator=(const Test_Session_Bus&) = delete;

        std::string address; // the value for DBUS_SESSION_BUS_ADDRESS
        pid_t pid = -1;
    };

    // A running corvane_test_reservation_owner, ended (SIGTERM) with the object.
    struct Test_Reservation_Owner
    {
        struct Options
        {
            int card = 0;
            int32_t priority = 0;         // WirePlumber -20, PulseAudio 0, JACK INT32_MAX
            std::string answer = "grant"; // grant (to a higher priority), refuse, silent
            std::string busy_file;        // kept while the card is held; empty: none
        };

        Test_Reservation_Owner(const std::string& bus_address, const std::string& log_path, const Options& options);
        ~Test_Reservation_Owner();
        Test_Reservation_Owner(const Test_Reservation_Owner&) = delete;
        Test_Reservation_Owner& operator=(const Test_Reservation_Owner&) = delete;

        std::vector<std::string> log() const;
        // Lines of the log equal to `line`.
        int count(const std::string& line) const;
        // Waits up to `seconds` until `count(line)` reaches `times`.
        bool wait_for(const std::string& line, double seconds, int times = 1) const;

        std::string log_path;
        pid_t pid = -1;
    };
}
