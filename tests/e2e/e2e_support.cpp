// End-to-end test support (see e2e_support.h).
#include "e2e/e2e_support.h"

#include "support/pointer_lock.h"
#include "support/poll.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace E2e
{
    namespace
    {
        // The channel of `pixel` that `mask` selects, scaled to 0..255.
        uint8_t channel(unsigned long pixel, unsigned long mask)
        {
            if (mask == 0)
                return 0;
            int shift = 0;
            while (!(mask & 1UL))
            {
                mask >>= 1;
                ++shift;
            }
            const unsigned long value = (pixel >> shift) & mask;
            return static_cast<uint8_t>(value * 255 / mask);
        }

        struct Display_Closer
        {
            void operator()(Display* display) const { XCloseDisplay(display); }
        };

        struct Image_Destroyer
        {
            void operator()(XImage* image) const { XDestroyImage(image); }
        };

        // The run's environment first, then the build's own folders.
        std::string binary_dir()
        {
            const char* dir = std::getenv("CORVANE_BINARY_DIR");
            return dir ? dir : CORVANE_BINARY_DIR;
        }

        std::string source_dir()
        {
            const char* dir = std::getenv("CORVANE_SOURCE_DIR");
            return dir ? dir : CORVANE_SOURCE_DIR;
        }
    }

    Player_Process::Player_Process(const std::filesystem::path& folder, const std::vector<std::string>& environment,
                                   const std::vector<std::string>& command)
    {
        std::vector<std::string> arguments = command;
        if (arguments.empty())
            arguments.push_back(binary_dir() + "/corvane");
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const std::vector<std::string> sanitizer = sanitizer_environment();
        pid = fork();
        if (pid == 0)
        {
            // A group of its own, so that whatever it forks (SDL shows its X11 message
            // box from a child process) goes with it.
            setpgid(0, 0);
            if (chdir(folder.c_str()) != 0)
                _exit(126);
            for (const std::string& assignment : sanitizer)
                putenv(const_cast<char*>(assignment.c_str()));
            for (const std::string& assignment : environment)
                putenv(const_cast<char*>(assignment.c_str()));
            execvp(argv[0], argv.data());
            _exit(127);
        }
        if (pid > 0)
            setpgid(pid, pid); // also here, so that the group exists whichever side runs first
    }

    Player_Process::~Player_Process()
    {
        if (pid > 0 && !exit_code)
        {
            if (kill(-pid, SIGKILL) != 0)
                kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    std::optional<int> Player_Process::wait_exit(double seconds)
    {
        Test_Support::poll_until(
            [&]
            {
                int status = 0;
                if (waitpid(pid, &status, WNOHANG) == pid)
                    exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return exit_code.has_value();
            },
            std::chrono::duration<double>(seconds), std::chrono::milliseconds(10));
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
        std::string found;
        Test_Support::poll_until(
            [&]
            {
                found = run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -n 1");
                return !found.empty();
            },
            std::chrono::duration<double>(seconds), std::chrono::milliseconds(50));
        return found;
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
            if (key == "X")
                g.x = value;
            if (key == "Y")
                g.y = value;
            if (key == "WIDTH")
                g.width = value;
            if (key == "HEIGHT")
                g.height = value;
        }
        return g;
    }

    Geometry screen_geometry()
    {
        // A client that cannot connect at once (a busy server during a parallel run) reports
        // nothing; ask again rather than compare against a screen of width 0.
        Geometry g;
        poll(
            [&]
            {
                std::istringstream size(run("xdotool getdisplaygeometry 2>/dev/null"));
                size >> g.width >> g.height;
                return g.width > 0 && g.height > 0;
            },
            5.0);
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

    bool poll(const std::function<bool()>& condition, double seconds)
    {
        return Test_Support::poll_until(condition, std::chrono::duration<double>(seconds),
                                        std::chrono::milliseconds(20));
    }

    std::vector<std::string> sanitizer_environment()
    {
        std::vector<std::string> environment;
        if (!std::getenv("LSAN_OPTIONS"))
            environment.push_back("LSAN_OPTIONS=suppressions=" + source_dir() +
                                  "/tests/lsan.supp:print_suppressions=0");
        for (const std::string name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
        {
            const char* options = std::getenv(name.c_str());
            environment.push_back(name + "=" + (options ? std::string(options) + ":" : std::string()) +
                                  "exitcode=" + std::to_string(sanitizer_exit_code));
        }
        return environment;
    }

    std::string find_window_in_tree(const std::string& title, double seconds)
    {
        std::string found;
        poll(
            [&]
            {
                // Lines read: 0x600005 "Corvane Error": ("..." "...")  300x120+810+480  +810+480
                found = run("xwininfo -root -tree 2>/dev/null | grep -F '\"" + title +
                            "\"' | awk '{print $1}' | head -n 1");
                return !found.empty();
            },
            seconds);
        return found;
    }

    void move_pointer(int x, int y)
    {
        std::unique_ptr<Display, Display_Closer> display(XOpenDisplay(nullptr));
        if (!display)
            throw std::runtime_error("no X display to move the pointer on");
        XWarpPointer(display.get(), None, DefaultRootWindow(display.get()), 0, 0, 0, 0, x, y);
        XSync(display.get(), False);
    }

    void click(const std::string& window, int x, int y, int button)
    {
        // The player reads the pointer in its next frame: no other test moves it until then.
        Test_Support::Pointer_Lock pointer;
        const Geometry g = window_geometry(window);
        move_pointer(g.x + x, g.y + y);
        sleep_seconds(0.3);
        run("xdotool click " + std::to_string(button));
        sleep_seconds(0.3);
    }

    void park_pointer()
    {
        move_pointer(0, 0);
    }

    void resize_window(const std::string& window, int width, int height)
    {
        run("xdotool windowsize --sync " + window + " " + std::to_string(width) + " " + std::to_string(height));
    }

    void Screenshot::save_ppm(const std::filesystem::path& path) const
    {
        std::ofstream out(path, std::ios::binary);
        out << "P6\n" << width << " " << height << "\n255\n";
        for (const Rgb& p : pixels)
            out << char(p.r) << char(p.g) << char(p.b);
    }

    Screenshot take_screenshot(const std::string& window)
    {
        const Geometry g = window_geometry(window);
        Screenshot shot;
        std::unique_ptr<Display, Display_Closer> display(XOpenDisplay(nullptr));
        if (!display || g.width <= 0 || g.height <= 0)
            return shot;
        const Window root = DefaultRootWindow(display.get());
        XWindowAttributes screen;
        XGetWindowAttributes(display.get(), root, &screen);
        // Only the part on the screen can be read.
        const int left = std::max(g.x, 0), top = std::max(g.y, 0);
        const int right = std::min(g.x + g.width, screen.width), bottom = std::min(g.y + g.height, screen.height);
        if (right <= left || bottom <= top)
            return shot;
        std::unique_ptr<XImage, Image_Destroyer> image(XGetImage(display.get(), root, left, top, unsigned(right - left),
                                                                 unsigned(bottom - top), AllPlanes, ZPixmap));
        if (!image)
            return shot;
        shot.width = right - left;
        shot.height = bottom - top;
        shot.pixels.resize(size_t(shot.width) * size_t(shot.height));
        for (int y = 0; y < shot.height; ++y)
            for (int x = 0; x < shot.width; ++x)
            {
                const unsigned long pixel = XGetPixel(image.get(), x, y);
                shot.pixels[size_t(y) * size_t(shot.width) + size_t(x)] = {channel(pixel, image->red_mask),
                                                                           channel(pixel, image->green_mask),
                                                                           channel(pixel, image->blue_mask)};
            }
        return shot;
    }
}
