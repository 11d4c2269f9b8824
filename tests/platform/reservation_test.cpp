// Device reservation for real: a private dbus-daemon and the test owner standing in for a
// sound server or JACK. A sound server lets go and gets its card back, a higher rank keeps
// it, a silent holder or a dead bus costs a time-out and no more, and a higher-ranking
// request while the card is in use is granted only once the card is closed.
#include "platform/device_reservation.h"
#include "session_bus/session_bus.h"

#include <gtest/gtest.h>

#include <dbus/dbus.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

using Platform::Device_Reservation;
using Platform::Reservation;

namespace
{
    using Clock = std::chrono::steady_clock;

    double seconds_since(Clock::time_point start)
    {
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    struct Reservation_Test : testing::Test
    {
        std::filesystem::path root;
        Corvane::Test_Session_Bus bus;

        Reservation_Test()
        {
            std::string pattern = (std::filesystem::temp_directory_path() / "corvane-reserve-XXXXXX").string();
            root = mkdtemp(pattern.data());
            setenv("DBUS_SESSION_BUS_ADDRESS", bus.address.c_str(), 1);
        }

        ~Reservation_Test() override
        {
            std::error_code ignored;
            std::filesystem::remove_all(root, ignored);
        }

        // An owner of card 0 that keeps `busy` while it holds the card; waits until it does
        // (or, when `owns` is false, until it has been turned away).
        std::unique_ptr<Corvane::Test_Reservation_Owner>
        start_owner(const std::string& log, int32_t priority, const std::string& answer = "grant", bool owns = true)
        {
            Corvane::Test_Reservation_Owner::Options options;
            options.priority = priority;
            options.answer = answer;
            options.busy_file = (root / "busy").string();
            auto owner = std::make_unique<Corvane::Test_Reservation_Owner>(bus.address, (root / log).string(), options);
            EXPECT_TRUE(owner->wait_for(owns ? "owned" : "refused-by-holder", 10.0)) << log;
            return owner;
        }

        bool busy() const { return std::filesystem::exists(root / "busy"); }

        // A property of the reservation of card 0, read by another client as a desktop would.
        std::string property(const char* name)
        {
            DBusError error;
            dbus_error_init(&error);
            DBusConnection* connection = dbus_connection_open_private(bus.address.c_str(), &error);
            std::string value = "(none)";
            if (connection && dbus_bus_register(connection, &error))
            {
                DBusMessage* call = dbus_message_new_method_call("org.freedesktop.ReserveDevice1.Audio0",
                                                                 "/org/freedesktop/ReserveDevice1/Audio0",
                                                                 "org.freedesktop.DBus.Properties", "Get");
                const char* interface = "org.freedesktop.ReserveDevice1";
                dbus_message_append_args(call, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name,
                                         DBUS_TYPE_INVALID);
                if (DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection, call, 2000, &error))
                {
                    DBusMessageIter iter, variant;
                    dbus_message_iter_init(reply, &iter);
                    dbus_message_iter_recurse(&iter, &variant);
                    if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_STRING)
                    {
                        const char* text = nullptr;
                        dbus_message_iter_get_basic(&variant, &text);
                        value = text;
                    }
                    else if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_INT32)
                    {
                        int32_t number = 0;
                        dbus_message_iter_get_basic(&variant, &number);
                        value = std::to_string(number);
                    }
                    dbus_message_unref(reply);
                }
                dbus_message_unref(call);
            }
            if (connection)
            {
                dbus_connection_close(connection);
                dbus_connection_unref(connection);
            }
            dbus_error_free(&error);
            return value;
        }
    };

    TEST_F(Reservation_Test, SoundServerLetsGoAndGetsItsCardBackOnReleaseOrAfterTheGrace)
    {
        for (const int32_t server : {-20, 0}) // WirePlumber, PulseAudio
        {
            SCOPED_TRACE(server);
            const auto owner = start_owner("server" + std::to_string(server) + ".log", server);
            Device_Reservation reservation;
            ASSERT_EQ(reservation.acquire(0, "Test Card"), Reservation::reserved);
            EXPECT_EQ(owner->count("granted 10"), 1);
            EXPECT_FALSE(busy()) << "the card was not closed before the answer";
            EXPECT_EQ(property("ApplicationName"), "Corvane");
            EXPECT_EQ(property("ApplicationDeviceName"), "Test Card");
            EXPECT_EQ(property("Priority"), "10");

            // Between tracks the card stays ours; once given back the server reclaims it.
            reservation.keep(-1.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_EQ(owner->count("owned"), 1);
            ASSERT_EQ(reservation.acquire(0, "Test Card"), Reservation::reserved);
            EXPECT_EQ(owner->count("granted 10"), 1) << "asked again for a card already ours";
            const auto released = Clock::now();
            reservation.release();
            ASSERT_TRUE(owner->wait_for("owned", 1.0, 2)) << "not given back on release";
            EXPECT_LT(seconds_since(released), 1.0);
            EXPECT_TRUE(busy());

            // A track that ended with nothing following: given back after the grace.
            ASSERT_EQ(reservation.acquire(0, "Test Card"), Reservation::reserved);
            const auto ended = Clock::now();
            reservation.keep(1.0);
            ASSERT_TRUE(owner->wait_for("owned", 5.0, 3)) << "not given back after the grace";
            EXPECT_GE(seconds_since(ended), 0.9);
        }
    }

    TEST_F(Reservation_Test, HigherRankRefusesAndASilentHolderCostsOnlyTheTimeOut)
    {
        {
            const auto jack = start_owner("jack.log", INT32_MAX);
            Device_Reservation reservation;
            EXPECT_EQ(reservation.acquire(0, "Test Card"), Reservation::refused);
            EXPECT_EQ(jack->count("refused 10"), 1);
            EXPECT_TRUE(busy());
        }
        {
            const auto silent = start_owner("silent.log", -20, "silent");
            Device_Reservation reservation;
            const auto start = Clock::now();
            EXPECT_EQ(reservation.acquire(0, "Test Card"), Reservation::unmanaged);
            EXPECT_LT(seconds_since(start), 5.0);
            EXPECT_EQ(silent->count("ignored 10"), 1);
        }
    }

    TEST_F(Reservation_Test, NoSessionOrADeadBusMeansOpenTheCardDirectly)
    {
        {
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
            Device_Reservation reservation;
            EXPECT_EQ(reservation.acquire(0, "Test Card"), Reservation::unmanaged);
            reservation.release();
        }
        {
            // A socket that takes connections and never says a word.
            const std::string path = (root / "dead-bus").string();
            const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            path.copy(address.sun_path, sizeof address.sun_path - 1);
            ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ASSERT_EQ(listen(listener, 4), 0);
            setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
            Device_Reservation reservation;
            const auto start = Clock::now();
            EXPECT_EQ(reservation.acquire(0, "Test Card"), Reservation::unmanaged);
            EXPECT_LT(seconds_since(start), 3.0);
            close(listener);
        }
    }

    TEST_F(Reservation_Test, HigherRankIsGrantedTheCardOnlyOnceItIsClosedLowerRankIsTurnedAway)
    {
        // Nobody holds the card: it is simply ours.
        Device_Reservation reservation;
        ASSERT_EQ(reservation.acquire(0, "Test Card"), Reservation::reserved);
        {
            const auto server = start_owner("server.log", 0, "grant", false);
            EXPECT_FALSE(reservation.release_requested());
        }

        // JACK asks while the card is in use: the run is told to stop, and JACK gets its answer
        // only once the card is closed.
        Corvane::Test_Reservation_Owner::Options options;
        options.priority = INT32_MAX;
        std::optional<Corvane::Test_Reservation_Owner> jack;
        jack.emplace(bus.address, (root / "jack.log").string(), options);
        const auto asked = Clock::now();
        while (!reservation.release_requested() && seconds_since(asked) < 10.0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(reservation.release_requested()) << "the run was not told to stop";
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(jack->count("owned"), 0) << "JACK was answered while the card was open";
        reservation.release();
        EXPECT_TRUE(jack->wait_for("owned", 1.0));
        EXPECT_FALSE(reservation.release_requested());

        // Asked while merely kept between tracks, the card goes at once.
        jack.reset();
        ASSERT_EQ(reservation.acquire(0, "Test Card"), Reservation::reserved);
        reservation.keep(-1.0);
        jack.emplace(bus.address, (root / "jack2.log").string(), options);
        EXPECT_TRUE(jack->wait_for("owned", 2.0)) << "a kept card was not handed over";
        EXPECT_FALSE(reservation.release_requested());
    }
}
