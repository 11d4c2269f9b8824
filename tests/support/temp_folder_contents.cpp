// What the tests put into a scratch folder, the same on every system.
#include "support/temp_folder.h"

#include <fstream>
#include <stdexcept>

namespace Test_Support
{
    void Temp_Folder::folder(const std::string& relative) const
    {
        std::filesystem::create_directories(path / relative);
    }

    void Temp_Folder::file(const std::string& relative) const
    {
        std::filesystem::create_directories((path / relative).parent_path());
        if (!std::ofstream(path / relative, std::ios::app))
            throw std::runtime_error("could not create " + (path / relative).string());
    }

    void Temp_Folder::link(const std::string& relative, const std::string& target) const
    {
        std::filesystem::create_directories((path / relative).parent_path());
        std::filesystem::create_symlink(target, path / relative);
    }

    Working_Directory::Working_Directory(const std::filesystem::path& folder)
        : previous(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }

    Working_Directory::~Working_Directory()
    {
        std::filesystem::current_path(previous);
    }
}
