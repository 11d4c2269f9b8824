// End-to-end test support (see e2e_support.h).
#include "e2e/e2e_support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace E2e
{
    namespace
    {
        std::string binary_dir()
        {
            const char* dir = std::getenv("CORVANE_BINARY_DIR");
            if (!dir)
                throw std::runtime_error("CORVANE_BINARY_DIR is not set");
            return dir;
        }
    }

    Temporary_Folder::Temporary_Folder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvane-e2e-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }

    Temporary_Folder::~Temporary_Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }

    Player_Process::Player_Process(const std::filesystem::path& folder, const std::vector<std::string>& environment)
    {
        const std::string executable = binary_dir() + "/corvane";
        pid = fork();
        if (pid == 0)
        {
            if (chdir(folder.c_str()) != 0)
                _exit(126);
            for (const std::string& assignment : environment)
                putenv(const_cast<char*>(assignment.c_str()));
            execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    Player_Process::~Player_Process()
    {
        if (pid > 0 && !exit_code)
        {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    std::optional<int> Player_Process::wait_exit(double seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!exit_code)
        {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else if (std::chrono::steady_clock::now() > deadline)
                break;
            else
                sleep_seconds(0.01);
        }
        return exit_code;
    }

    std::string run(const std::string& command)
    {
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return output;
        char buffer[4096];
        size_t read = 0;
        while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, read);
        pclose(pipe);
        while (!output.empty() && (output.back() == '\n' || output.back() == ' '))
            output.pop_back();
        return output;
    }

    std::string find_window(const std::string& title, double seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do
        {
            const std::string found = run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -n 1");
            if (!found.empty())
                return found;
            sleep_seconds(0.05);
        } while (std::chrono::steady_clock::now() < deadline);
        return {};
    }

    Geometry window_geometry(const std::string& window)
    {
        std::istringstream shell(run("xdotool getwindowgeometry --shell " + window));
        Geometry g;
        std::string line;
        while (std::getline(shell, line))
        {
            const auto equals = line.find('=');
            if (equals == std::string::npos)
                continue;
            const std::string key = line.substr(0, equals);
            const int value = std::atoi(line.c_str() + equals + 1);
            if (key == "X") g.x = value;
            if (key == "Y") g.y = value;
            if (key == "WIDTH") g.width = value;
            if (key == "HEIGHT") g.height = value;
        }
        return g;
    }

    Geometry screen_geometry()
    {
        std::istringstream size(run("xdotool getdisplaygeometry"));
        Geometry g;
        size >> g.width >> g.height;
        return g;
    }

    void press_key(const std::string& window, const std::string& key)
    {
        run("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool key --clearmodifiers " + key);
    }

    void sleep_seconds(double seconds)
    {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
}
