// Device reservation on Linux: the desktop's protocol for lending a sound card, spoken by
// PipeWire's session manager, PulseAudio and JACK alike. Card N is reserved by owning the
// session bus name org.freedesktop.ReserveDevice1.Audio<N>; whoever wants it asks the owner
// through RequestRelease with its priority, and the owner closes the card and answers true
// only for a priority above its own.
//
// One service thread owns the bus connection and does every D-Bus call, each with a short
// time-out; the loader and play threads hand it one request at a time and wait for the
// answer. While Corvane owns a name the thread keeps listening, so that a higher-ranking
// program's RequestRelease is heard while a track plays. That request is answered only
// once the run has closed the card (release() or keep()), as the protocol promises.
#include "platform/device_reservation.h"

#include <dbus/dbus.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <cstdlib>

namespace Platform
{
    namespace
    {
        // Above every sound server (WirePlumber -20, PulseAudio 0), so that they hand the card
        // over; below JACK (the highest 32-bit priority), so that a pro-audio session keeps it.
        constexpr int32_t priority = 10;

        constexpr int bus_timeout_ms = 1000;    // the bus daemon itself answers at once when it works
        constexpr int holder_timeout_ms = 3000; // a holder closes its device before it answers
        constexpr int listen_ms = 20;           // between two looks at the callers' requests

        constexpr const char* application_name = "Corvane";
        constexpr const char* reserve_interface = "org.freedesktop.ReserveDevice1";
        constexpr const char* properties_interface = "org.freedesktop.DBus.Properties";

        using Clock = std::chrono::steady_clock;

        std::string bus_name(int card)
        {
            return "org.freedesktop.ReserveDevice1.Audio" + std::to_string(card);
        }

        std::string object_path(int card)
        {
            return "/org/freedesktop/ReserveDevice1/Audio" + std::to_string(card);
        }

        struct Error
        {
            DBusError error;
            Error() { dbus_error_init(&error); }
            ~Error() { dbus_error_free(&error); }
            Error(const Error&) = delete;
            Error& operator=(const Error&) = delete;
            bool is(const char* name) const { return dbus_error_has_name(&error, name); }
        };

        struct Message
        {
            DBusMessage* message = nullptr;
            explicit Message(DBusMessage* m = nullptr) : message(m) {}
            ~Message()
            {
                if (message)
                    dbus_message_unref(message);
            }
            Message(Message&& other) noexcept : message(other.message) { other.message = nullptr; }
            Message(const Message&) = delete;
            Message& operator=(const Message&) = delete;
            explicit operator bool() const { return message != nullptr; }
        };

        Message bus_method(const char* method)
        {
            return Message(
                dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, method));
        }

        enum class Answer
        {
            granted, // the holder closed the card
            refused, // it ranks higher or equal
            gone,    // it went away while we asked
            none,    // no answer in time, or no sense made of one
        };

        void append_variant(DBusMessageIter* iter, const std::string& text)
        {
            DBusMessageIter variant;
            const char* value = text.c_str();
            dbus_message_iter_open_container(iter, DBUS_TYPE_VARIANT, DBUS_TYPE_STRING_AS_STRING, &variant);
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &value);
            dbus_message_iter_close_container(iter, &variant);
        }

        void append_variant(DBusMessageIter* iter, int32_t number)
        {
            DBusMessageIter variant;
            dbus_message_iter_open_container(iter, DBUS_TYPE_VARIANT, DBUS_TYPE_INT32_AS_STRING, &variant);
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_INT32, &number);
            dbus_message_iter_close_container(iter, &variant);
        }
    }

    struct Device_Reservation::State
    {
        enum class Request
        {
            none,
            acquire,
            release,
            keep,
            stop,
        };

        // Shared by the callers and the service thread, under `mutex`.
        std::mutex calls; // one caller at a time
        std::mutex mutex;
        std::condition_variable changed;
        Request request = Request::none;
        std::string address;       // of the session bus
        int card = 0;              // acquire: the card wanted
        std::string card_name;     // acquire: its name for others to read
        double grace_seconds = -1; // keep
        Reservation result = Reservation::unmanaged;
        std::thread service;
        std::atomic<bool> release_asked{false};

        // The service thread's own.
        DBusConnection* connection = nullptr;
        int owned_card = -1; // whose name Corvane owns; -1 for none
        std::string owned_card_name;
        bool in_use = false; // a run holds the card: between acquire and release or keep
        std::optional<Clock::time_point> give_back_at;
        std::vector<DBusMessage*> granted; // RequestRelease calls to answer true once the card is closed

        ~State() { disconnect(); }

        // A caller's request, handed to the service thread; returns its answer.
        Reservation call(Request what)
        {
            std::unique_lock lock(mutex);
            if (!service.joinable())
                service = std::thread([this] { serve(); });
            request = what;
            changed.notify_all();
            changed.wait(lock, [this] { return request == Request::none; });
            return result;
        }

        void serve()
        {
            dbus_threads_init_default();
            std::unique_lock lock(mutex);
            for (;;)
            {
                if (request != Request::none)
                {
                    const Request what = request;
                    lock.unlock();
                    const Reservation answer = handle(what);
                    lock.lock();
                    result = answer;
                    request = Request::none;
                    changed.notify_all();
                    if (what == Request::stop)
                        return;
                }
                else if (connection && (owned_card >= 0 || give_back_at))
                {
                    lock.unlock();
                    listen();
                    lock.lock();
                }
                else
                    changed.wait(lock);
            }
        }

        // Service thread; the fields of the request are stable until it is answered.
        Reservation handle(Request what)
        {
            if (what == Request::acquire)
                return reserve(card, card_name);
            if (what == Request::keep && keep_for(grace_seconds))
                return Reservation::reserved;
            give_back();
            if (what == Request::stop)
                disconnect();
            return Reservation::unmanaged;
        }

        // Keeps the card for the next acquire, unless another program was promised it.
        bool keep_for(double seconds)
        {
            in_use = false;
            if (!granted.empty() || owned_card < 0)
                return false;
            give_back_at.reset();
            if (seconds >= 0)
                give_back_at =
                    Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
            return true;
        }

        // Hears other programs for a moment; gives the card back when its time has come.
        void listen()
        {
            if (!dbus_connection_read_write_dispatch(connection, listen_ms))
            {
                disconnect(); // the bus went away, and Corvane's names with it
                return;
            }
            if (!in_use && give_back_at && Clock::now() >= *give_back_at)
                give_back();
        }

        Reservation reserve(int wanted, const std::string& name)
        {
            release_asked = false;
            if (owned_card == wanted && connection)
                return take(wanted, name);
            give_back();
            if (!connect())
                return Reservation::unmanaged;
            // A holder that goes away while asked is gone from the bus: ask again at once.
            for (int attempt = 0; attempt < 3; ++attempt)
            {
                const std::optional<uint32_t> first = request_name(wanted, false);
                if (!first)
                    return drop();
                if (*first == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER || *first == DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER)
                    return take(wanted, name);
                switch (ask_holder(wanted))
                {
                case Answer::refused: return Reservation::refused;
                case Answer::none: return Reservation::unmanaged;
                case Answer::gone: continue;
                case Answer::granted: break;
                }
                const std::optional<uint32_t> second = request_name(wanted, true);
                if (!second)
                    return drop();
                if (*second == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER ||
                    *second == DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER)
                    return take(wanted, name);
                // The holder closed the card but kept its name: the card itself decides.
                return Reservation::unmanaged;
            }
            return Reservation::unmanaged;
        }

        Reservation take(int wanted, const std::string& name)
        {
            owned_card = wanted;
            owned_card_name = name;
            in_use = true;
            give_back_at.reset();
            return Reservation::reserved;
        }

        Reservation drop()
        {
            disconnect();
            return Reservation::unmanaged;
        }

        bool connect()
        {
            if (connection && dbus_connection_get_is_connected(connection))
                return true;
            disconnect();
            if (address.empty())
                return false;
            Error error;
            connection = dbus_connection_open_private(address.c_str(), &error.error);
            if (!connection)
                return false;
            dbus_connection_set_exit_on_disconnect(connection, FALSE);
            // Hello by hand: dbus_bus_register would wait for a silent bus for ever.
            Message hello = bus_method("Hello");
            Message reply = send(hello, bus_timeout_ms);
            const char* unique = nullptr;
            if (!reply ||
                !dbus_message_get_args(reply.message, nullptr, DBUS_TYPE_STRING, &unique, DBUS_TYPE_INVALID) ||
                !dbus_bus_set_unique_name(connection, unique) ||
                !dbus_connection_add_filter(connection, filter, this, nullptr))
            {
                disconnect();
                return false;
            }
            return true;
        }

        void disconnect()
        {
            for (DBusMessage* message : granted)
                dbus_message_unref(message);
            granted.clear();
            if (connection)
            {
                if (dbus_connection_get_is_authenticated(connection))
                    dbus_connection_flush(connection); // answers still queued
                dbus_connection_close(connection);
                dbus_connection_unref(connection);
                connection = nullptr;
            }
            owned_card = -1;
            in_use = false;
            give_back_at.reset();
        }

        // A method call and its reply, or nothing after `timeout_ms`. libdbus's own blocking
        // call ignores its time-out while it authenticates, so the waiting is done here; other
        // programs' calls are dispatched meanwhile.
        Message send(const Message& message, int timeout_ms, Error* error = nullptr)
        {
            DBusPendingCall* pending = nullptr;
            if (!message || !connection ||
                !dbus_connection_send_with_reply(connection, message.message, &pending, timeout_ms) || !pending)
                return Message();
            const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
            while (!dbus_pending_call_get_completed(pending))
            {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0 || !dbus_connection_read_write_dispatch(connection, int(left)))
                    break;
            }
            Message reply;
            if (dbus_pending_call_get_completed(pending))
                reply.message = dbus_pending_call_steal_reply(pending);
            else
                dbus_pending_call_cancel(pending);
            dbus_pending_call_unref(pending);
            if (reply && dbus_message_get_type(reply.message) == DBUS_MESSAGE_TYPE_ERROR)
            {
                if (error)
                    dbus_set_error_from_message(&error->error, reply.message);
                return Message();
            }
            return reply;
        }

        // RequestName without queueing; replacing the holder only once it granted release.
        // Nothing when the bus did not answer.
        std::optional<uint32_t> request_name(int wanted, bool replace)
        {
            Message message = bus_method("RequestName");
            const std::string name = bus_name(wanted);
            const char* name_text = name.c_str();
            uint32_t flags = DBUS_NAME_FLAG_DO_NOT_QUEUE | DBUS_NAME_FLAG_ALLOW_REPLACEMENT;
            if (replace)
                flags |= DBUS_NAME_FLAG_REPLACE_EXISTING;
            if (!message || !dbus_message_append_args(message.message, DBUS_TYPE_STRING, &name_text, DBUS_TYPE_UINT32,
                                                      &flags, DBUS_TYPE_INVALID))
                return std::nullopt;
            Message reply = send(message, bus_timeout_ms);
            uint32_t answer = 0;
            if (!reply || !dbus_message_get_args(reply.message, nullptr, DBUS_TYPE_UINT32, &answer, DBUS_TYPE_INVALID))
                return std::nullopt;
            return answer;
        }

        Answer ask_holder(int wanted)
        {
            const std::string name = bus_name(wanted);
            const std::string path = object_path(wanted);
            Message message(
                dbus_message_new_method_call(name.c_str(), path.c_str(), reserve_interface, "RequestRelease"));
            int32_t ours = priority;
            if (!message || !dbus_message_append_args(message.message, DBUS_TYPE_INT32, &ours, DBUS_TYPE_INVALID))
                return Answer::none;
            Error error;
            Message reply = send(message, holder_timeout_ms, &error);
            if (!reply)
                return error.is(DBUS_ERROR_SERVICE_UNKNOWN) || error.is(DBUS_ERROR_NAME_HAS_NO_OWNER) ? Answer::gone
                                                                                                      : Answer::none;
            dbus_bool_t granted_release = FALSE;
            if (!dbus_message_get_args(reply.message, nullptr, DBUS_TYPE_BOOLEAN, &granted_release, DBUS_TYPE_INVALID))
                return Answer::none;
            return granted_release ? Answer::granted : Answer::refused;
        }

        // Answers the granted requests and lets go of the name.
        void give_back()
        {
            in_use = false;
            give_back_at.reset();
            for (DBusMessage* message : granted)
                answer(message, true);
            for (DBusMessage* message : granted)
                dbus_message_unref(message);
            granted.clear();
            if (owned_card >= 0 && connection)
            {
                Message message = bus_method("ReleaseName");
                const std::string name = bus_name(owned_card);
                const char* name_text = name.c_str();
                if (!message ||
                    !dbus_message_append_args(message.message, DBUS_TYPE_STRING, &name_text, DBUS_TYPE_INVALID) ||
                    !send(message, bus_timeout_ms))
                    disconnect(); // leaving the bus gives the name back as well
            }
            owned_card = -1;
            release_asked = false;
        }

        void answer(DBusMessage* call, bool granted_release)
        {
            Message reply(dbus_message_new_method_return(call));
            const dbus_bool_t value = granted_release;
            if (reply && dbus_message_append_args(reply.message, DBUS_TYPE_BOOLEAN, &value, DBUS_TYPE_INVALID))
                dbus_connection_send(connection, reply.message, nullptr);
        }

        // Service thread, inside dispatch.
        static DBusHandlerResult filter(DBusConnection*, DBusMessage* message, void* data)
        {
            auto* self = static_cast<State*>(data);
            if (dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameLost"))
                self->name_lost(message);
            if (self->owned_card < 0 || !dbus_message_has_path(message, object_path(self->owned_card).c_str()))
                return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
            if (dbus_message_is_method_call(message, reserve_interface, "RequestRelease"))
                return self->request_release(message);
            if (dbus_message_is_method_call(message, properties_interface, "Get"))
                return self->get_property(message);
            if (dbus_message_is_method_call(message, properties_interface, "GetAll"))
                return self->get_all_properties(message);
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        }

        // Taken over without asking (or the bus's own doing): stop using the card as if asked.
        void name_lost(DBusMessage* message)
        {
            const char* name = nullptr;
            if (owned_card < 0 ||
                !dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID) ||
                bus_name(owned_card) != name)
                return;
            owned_card = -1;
            if (in_use)
                release_asked = true;
        }

        DBusHandlerResult request_release(DBusMessage* message)
        {
            int32_t asked = 0;
            Error error;
            if (!dbus_message_get_args(message, &error.error, DBUS_TYPE_INT32, &asked, DBUS_TYPE_INVALID))
                return reply_error(message, error);
            if (asked <= priority)
            {
                answer(message, false);
                return DBUS_HANDLER_RESULT_HANDLED;
            }
            // Answered once the card is closed: by the run that holds it, or right after
            // this dispatch when no run does.
            dbus_message_ref(message);
            granted.push_back(message);
            if (in_use)
                release_asked = true;
            else
                give_back_at = Clock::now();
            return DBUS_HANDLER_RESULT_HANDLED;
        }

        DBusHandlerResult get_property(DBusMessage* message)
        {
            const char* interface = nullptr;
            const char* property = nullptr;
            Error error;
            if (!dbus_message_get_args(message, &error.error, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                                       DBUS_TYPE_INVALID))
                return reply_error(message, error);
            Message reply(dbus_message_new_method_return(message));
            if (!reply)
                return DBUS_HANDLER_RESULT_NEED_MEMORY;
            DBusMessageIter iter;
            dbus_message_iter_init_append(reply.message, &iter);
            const std::string wanted = property;
            if (wanted == "ApplicationName")
                append_variant(&iter, std::string(application_name));
            else if (wanted == "ApplicationDeviceName")
                append_variant(&iter, owned_card_name);
            else if (wanted == "Priority")
                append_variant(&iter, priority);
            else
            {
                Message unknown(dbus_message_new_error(message, DBUS_ERROR_UNKNOWN_PROPERTY, "No such property."));
                if (unknown)
                    dbus_connection_send(connection, unknown.message, nullptr);
                return DBUS_HANDLER_RESULT_HANDLED;
            }
            dbus_connection_send(connection, reply.message, nullptr);
            return DBUS_HANDLER_RESULT_HANDLED;
        }

        DBusHandlerResult get_all_properties(DBusMessage* message)
        {
            Message reply(dbus_message_new_method_return(message));
            if (!reply)
                return DBUS_HANDLER_RESULT_NEED_MEMORY;
            DBusMessageIter iter, dict;
            dbus_message_iter_init_append(reply.message, &iter);
            dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "{sv}", &dict);
            const auto entry = [&](const char* key, auto value)
            {
                DBusMessageIter pair;
                dbus_message_iter_open_container(&dict, DBUS_TYPE_DICT_ENTRY, nullptr, &pair);
                dbus_message_iter_append_basic(&pair, DBUS_TYPE_STRING, &key);
                append_variant(&pair, value);
                dbus_message_iter_close_container(&dict, &pair);
            };
            entry("ApplicationName", std::string(application_name));
            entry("ApplicationDeviceName", owned_card_name);
            entry("Priority", priority);
            dbus_message_iter_close_container(&iter, &dict);
            dbus_connection_send(connection, reply.message, nullptr);
            return DBUS_HANDLER_RESULT_HANDLED;
        }

        DBusHandlerResult reply_error(DBusMessage* message, const Error& error)
        {
            Message reply(dbus_message_new_error(message, DBUS_ERROR_INVALID_ARGS, error.error.message));
            if (reply)
                dbus_connection_send(connection, reply.message, nullptr);
            return DBUS_HANDLER_RESULT_HANDLED;
        }
    };

    Device_Reservation::Device_Reservation() : state(std::make_unique<State>()) {}

    Device_Reservation::~Device_Reservation()
    {
        std::lock_guard call(state->calls);
        if (!state->service.joinable())
            return;
        state->call(State::Request::stop);
        state->service.join();
    }

    Reservation Device_Reservation::acquire(int card, const std::string& card_name)
    {
        std::lock_guard call(state->calls);
        const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (card < 0 || ((!address || !*address) && !state->service.joinable()))
            return Reservation::unmanaged; // no desktop session: nobody to ask
        {
            std::lock_guard lock(state->mutex);
            state->address = address ? address : "";
            state->card = card;
            state->card_name = card_name;
        }
        return state->call(State::Request::acquire);
    }

    void Device_Reservation::release()
    {
        std::lock_guard call(state->calls);
        if (state->service.joinable())
            state->call(State::Request::release);
    }

    void Device_Reservation::keep(double grace_seconds)
    {
        std::lock_guard call(state->calls);
        if (!state->service.joinable())
            return;
        {
            std::lock_guard lock(state->mutex);
            state->grace_seconds = grace_seconds;
        }
        state->call(State::Request::keep);
    }

    bool Device_Reservation::release_requested() const
    {
        return state->release_asked.load();
    }
}
