// A stand-in for a desktop sound server (or JACK) in the reservation tests: it reserves a
// sound card over the session bus the way they do, keeps the tests' virtual card busy while
// it holds it, answers RequestRelease as told, and takes the card back whenever the name
// comes free. One line per event goes to the log:
//   owned                  the name is ours (the busy file exists)
//   refused-by-holder      the holder would not let go; waiting for the name to come free
//   granted P / refused P / ignored P   a RequestRelease with priority P and our answer
//   lost                   the name went to someone else
//   owner self|other|none  a NameOwnerChanged of the name: its new owner
//
//   corvane_test_reservation_owner --log PATH [--card N] [--priority P]
//       [--answer grant|refuse|silent] [--busy-file PATH]
// The bus is DBUS_SESSION_BUS_ADDRESS. Ends on SIGTERM or SIGINT, or when the bus goes.
#include <dbus/dbus.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{
    volatile std::sig_atomic_t stopping = 0;

    struct Owner
    {
        int card = 0;
        int32_t priority = 0;
        std::string answer = "grant"; // grant (to a higher priority only), refuse, silent
        std::string busy_file;
        FILE* log = nullptr;

        DBusConnection* connection = nullptr;
        std::string name;
        std::string path;
        bool owned = false;
        std::vector<DBusMessage*> unanswered; // kept by --answer silent

        void note(const std::string& line)
        {
            std::fprintf(log, "%s\n", line.c_str());
            std::fflush(log);
        }

        void set_busy(bool busy)
        {
            if (busy_file.empty())
                return;
            if (busy)
            {
                if (FILE* file = std::fopen(busy_file.c_str(), "w"))
                    std::fclose(file);
            }
            else
                unlink(busy_file.c_str());
        }

        uint32_t request_name(bool replace)
        {
            DBusError error;
            dbus_error_init(&error);
            unsigned flags = DBUS_NAME_FLAG_DO_NOT_QUEUE;
            if (priority < INT32_MAX)
                flags |= DBUS_NAME_FLAG_ALLOW_REPLACEMENT;
            if (replace)
                flags |= DBUS_NAME_FLAG_REPLACE_EXISTING;
            const int result = dbus_bus_request_name(connection, name.c_str(), flags, &error);
            dbus_error_free(&error);
            return result < 0 ? 0 : uint32_t(result);
        }

        // The holder's answer to our RequestRelease; false also when it did not answer.
        bool ask_holder()
        {
            DBusMessage* call = dbus_message_new_method_call(name.c_str(), path.c_str(),
                                                             "org.freedesktop.ReserveDevice1", "RequestRelease");
            dbus_message_append_args(call, DBUS_TYPE_INT32, &priority, DBUS_TYPE_INVALID);
            DBusError error;
            dbus_error_init(&error);
            DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection, call, 10000, &error);
            dbus_message_unref(call);
            dbus_error_free(&error);
            dbus_bool_t granted = FALSE;
            if (reply)
            {
                dbus_message_get_args(reply, nullptr, DBUS_TYPE_BOOLEAN, &granted, DBUS_TYPE_INVALID);
                dbus_message_unref(reply);
            }
            return granted;
        }

        void became_owner()
        {
            owned = true;
            set_busy(true);
            note("owned");
        }

        void try_to_own()
        {
            const uint32_t first = request_name(false);
            if (first == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER || first == DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER)
                return became_owner();
            if (first == DBUS_REQUEST_NAME_REPLY_EXISTS && ask_holder() &&
                request_name(true) == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER)
                return became_owner();
            note("refused-by-holder");
        }

        void reply(DBusMessage* call, bool granted)
        {
            DBusMessage* message = dbus_message_new_method_return(call);
            const dbus_bool_t value = granted;
            dbus_message_append_args(message, DBUS_TYPE_BOOLEAN, &value, DBUS_TYPE_INVALID);
            dbus_connection_send(connection, message, nullptr);
            dbus_connection_flush(connection);
            dbus_message_unref(message);
        }

        void request_release(DBusMessage* call)
        {
            int32_t asked = 0;
            dbus_message_get_args(call, nullptr, DBUS_TYPE_INT32, &asked, DBUS_TYPE_INVALID);
            const std::string asked_text = std::to_string(asked);
            if (answer == "silent")
            {
                note("ignored " + asked_text);
                dbus_message_ref(call);
                unanswered.push_back(call);
            }
            else if (answer == "grant" && asked > priority && owned)
            {
                // Closing the device comes before the answer, as the asker opens it next.
                set_busy(false);
                note("granted " + asked_text);
                reply(call, true);
            }
            else
            {
                note("refused " + asked_text);
                reply(call, false);
            }
        }

        void owner_changed(DBusMessage* signal)
        {
            const char* changed = nullptr;
            const char* old_owner = nullptr;
            const char* new_owner = nullptr;
            if (!dbus_message_get_args(signal, nullptr, DBUS_TYPE_STRING, &changed, DBUS_TYPE_STRING, &old_owner,
                                       DBUS_TYPE_STRING, &new_owner, DBUS_TYPE_INVALID) ||
                name != changed)
                return;
            const std::string owner = new_owner;
            note(owner.empty()                                   ? "owner none"
                 : owner == dbus_bus_get_unique_name(connection) ? "owner self"
                                                                 : "owner other");
            if (owner.empty() && !owned)
                try_to_own();
        }

        static DBusHandlerResult filter(DBusConnection*, DBusMessage* message, void* data)
        {
            auto* self = static_cast<Owner*>(data);
            if (dbus_message_is_method_call(message, "org.freedesktop.ReserveDevice1", "RequestRelease") &&
                dbus_message_has_path(message, self->path.c_str()))
            {
                self->request_release(message);
                return DBUS_HANDLER_RESULT_HANDLED;
            }
            if (dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameOwnerChanged"))
                self->owner_changed(message);
            else if (dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameLost"))
            {
                const char* lost = nullptr;
                if (dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &lost, DBUS_TYPE_INVALID) &&
                    self->name == lost && self->owned)
                {
                    self->owned = false;
                    self->set_busy(false);
                    self->note("lost");
                }
            }
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        }
    };

    void stop(int)
    {
        stopping = 1;
    }
}

int main(int argc, char** argv)
{
    Owner owner;
    std::string log_path;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--log")
            log_path = value;
        else if (option == "--card")
            owner.card = std::stoi(value);
        else if (option == "--priority")
            owner.priority = int32_t(std::stol(value));
        else if (option == "--answer")
            owner.answer = value;
        else if (option == "--busy-file")
            owner.busy_file = value;
    }
    owner.log = log_path.empty() ? nullptr : std::fopen(log_path.c_str(), "a");
    if (!owner.log)
    {
        std::fprintf(stderr, "usage: corvane_test_reservation_owner --log PATH [--card N] [--priority P]"
                             " [--answer grant|refuse|silent] [--busy-file PATH]\n");
        return 2;
    }
    std::signal(SIGTERM, stop);
    std::signal(SIGINT, stop);

    DBusError error;
    dbus_error_init(&error);
    owner.connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!owner.connection)
    {
        std::fprintf(stderr, "no session bus: %s\n", error.message);
        return 1;
    }
    dbus_connection_set_exit_on_disconnect(owner.connection, FALSE);
    owner.name = "org.freedesktop.ReserveDevice1.Audio" + std::to_string(owner.card);
    owner.path = "/org/freedesktop/ReserveDevice1/Audio" + std::to_string(owner.card);
    const std::string match = "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                              "member='NameOwnerChanged',arg0='" +
                              owner.name + "'";
    dbus_bus_add_match(owner.connection, match.c_str(), &error);
    dbus_connection_add_filter(owner.connection, Owner::filter, &owner, nullptr);
    owner.try_to_own();

    while (!stopping && dbus_connection_read_write_dispatch(owner.connection, 50))
    {
    }
    owner.set_busy(false);
    for (DBusMessage* call : owner.unanswered)
        dbus_message_unref(call);
    dbus_connection_close(owner.connection);
    dbus_connection_unref(owner.connection);
    std::fclose(owner.log);
    return 0;
}
