// The pointer's lock on Linux: flock on a file named after the X display, so that tests on
// other displays (a private Xvfb each) do not wait for each other.
#include "support/pointer_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace Test_Support
{
    Pointer_Lock::Pointer_Lock()
    {
        std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
        for (char& c : display)
            if (c == '/' || c == ':')
                c = '_';
        const std::string name = (std::filesystem::temp_directory_path() / ("corvane-pointer" + display)).string();
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            throw std::runtime_error("could not open the pointer's lock " + name);
        while (flock(fd, LOCK_EX) != 0)
            if (errno != EINTR)
            {
                ::close(fd);
                throw std::runtime_error("could not take the pointer's lock " + name);
            }
        handle = fd;
    }

    Pointer_Lock::~Pointer_Lock()
    {
        ::close(static_cast<int>(handle)); // releases the lock
    }
}
