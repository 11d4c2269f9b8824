// The tests' private session bus and test owner (see session_bus.h).
#include "session_bus/session_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace Corvane
{
    namespace
    {
        // The process's environment with DBUS_SESSION_BUS_ADDRESS set to `address`.
        std::vector<std::string> environment_with_bus(const std::string& address)
        {
            std::vector<std::string> environment;
            for (char** entry = environ; *entry; ++entry)
                if (std::strncmp(*entry, "DBUS_SESSION_BUS_ADDRESS=", 25) != 0)
                    environment.emplace_back(*entry);
            environment.push_back("DBUS_SESSION_BUS_ADDRESS=" + address);
            return environment;
        }

        // Starts a program that ends with this process (also when a test process ends with
        // _exit, as a death test's child does) and inherits none of its files but stdin,
        // stdout and stderr: a death test waits for its pipe to close.
        pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                    int output = -1)
        {
            std::vector<char*> argv, envp;
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            for (const std::string& assignment : environment)
                envp.push_back(const_cast<char*>(assignment.c_str()));
            envp.push_back(nullptr);
            const pid_t parent = getpid();
            const pid_t pid = fork();
            if (pid == 0)
            {
                prctl(PR_SET_PDEATHSIG, SIGTERM);
                if (getppid() != parent)
                    _exit(1);
                if (output >= 0)
                {
                    // The daemon complains about limits it may not raise; nothing a test reads.
                    const int null = open("/dev/null", O_WRONLY);
                    dup2(output, STDOUT_FILENO);
                    dup2(null, STDERR_FILENO);
                }
                syscall(SYS_close_range, 3U, ~0U, 0U);
                execvpe(argv[0], argv.data(), envp.data());
                _exit(127);
            }
            if (pid < 0)
                throw std::runtime_error("could not start " + arguments[0] + ": " + std::strerror(errno));
            return pid;
        }

        void end(pid_t pid)
        {
            if (pid <= 0)
                return;
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }

        // The first line the daemon prints, within `seconds`.
        std::string read_line(int fd, double seconds)
        {
            std::string line;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
            while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline)
            {
                pollfd ready{fd, POLLIN, 0};
                if (poll(&ready, 1, 100) <= 0)
                    continue;
                char buffer[256];
                const ssize_t got = read(fd, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                line.append(buffer, size_t(got));
            }
            return line.substr(0, line.find('\n'));
        }
    }

    Test_Session_Bus::Test_Session_Bus()
    {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        try
        {
            pid =
                spawn({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, environment_with_bus(""), fds[1]);
        }
        catch (...)
        {
            close(fds[0]);
            close(fds[1]);
            throw;
        }
        close(fds[1]);
        address = read_line(fds[0], 10.0);
        close(fds[0]);
        if (address.empty())
        {
            end(pid);
            throw std::runtime_error("dbus-daemon printed no address");
        }
    }

    Test_Session_Bus::~Test_Session_Bus()
    {
        end(pid);
    }

    Test_Reservation_Owner::Test_Reservation_Owner(const std::string& bus_address, const std::string& log,
                                                   const Options& options)
        : log_path(log)
    {
        std::ofstream(log_path, std::ios::trunc).flush();
        std::vector<std::string> arguments{CORVANE_TEST_RESERVATION_OWNER,
                                           "--log",
                                           log_path,
                                           "--card",
                                           std::to_string(options.card),
                                           "--priority",
                                           std::to_string(options.priority),
                                           "--answer",
                                           options.answer};
        if (!options.busy_file.empty())
        {
            arguments.push_back("--busy-file");
            arguments.push_back(options.busy_file);
        }
        pid = spawn(arguments, environment_with_bus(bus_address));
    }

    Test_Reservation_Owner::~Test_Reservation_Owner()
    {
        end(pid);
    }

    std::vector<std::string> Test_Reservation_Owner::log() const
    {
        std::vector<std::string> lines;
        std::ifstream file(log_path);
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }

    int Test_Reservation_Owner::count(const std::string& line) const
    {
        const std::vector<std::string> lines = log();
        return int(std::count(lines.begin(), lines.end(), line));
    }

    bool Test_Reservation_Owner::wait_for(const std::string& line, double seconds, int times) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;)
        {
            if (count(line) >= times)
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}
