// Scratch folders of the tests on Linux: mkdtemp names, removed with everything in them. A
// name's leading dot is what hides an entry here.
#include "support/temp_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace Test_Support
{
    namespace
    {
        std::filesystem::path scratch_space(bool in_memory)
        {
            std::error_code error;
            if (in_memory && std::filesystem::is_directory("/dev/shm", error) && access("/dev/shm", W_OK) == 0)
                return "/dev/shm";
            return std::filesystem::temp_directory_path();
        }
    }

    Temp_Folder::Temp_Folder(const std::string& prefix, bool in_memory)
    {
        std::string pattern = (scratch_space(in_memory) / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed for " + pattern);
        path = pattern;
    }

    Temp_Folder::~Temp_Folder()
    {
        // rm copes with paths longer than the system accepts in one call.
        const std::string command =
            "chmod -R u+rwx '" + path.string() + "' 2>/dev/null; rm -rf '" + path.string() + "'";
        if (std::system(command.c_str()) != 0)
        {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }

    void Temp_Folder::hide(const std::string& relative) const
    {
        const std::filesystem::path entry = path / relative;
        const std::string name = entry.filename().string();
        if (!name.starts_with('.'))
            std::filesystem::rename(entry, entry.parent_path() / ("." + name));
    }
}
