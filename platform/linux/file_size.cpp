// File size through stat, which follows symbolic links to the file itself.
#include "platform/file_size.h"

#include <sys/stat.h>

namespace Platform
{
    std::optional<uint64_t> get_file_size(const std::string& path)
    {
        struct stat info
        {
        };
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return std::nullopt;
        return static_cast<uint64_t>(info.st_size);
    }
}
