// Scratch folders of the tests on Windows: a fresh name under the user's temporary folder,
// removed with everything in it.
#include "support/temp_folder.h"

#include <windows.h>

#include <random>
#include <stdexcept>

namespace Test_Support
{
    Temp_Folder::Temp_Folder(const std::string& prefix, bool)
    {
        std::random_device seed;
        std::mt19937_64 random(seed() ^ GetCurrentProcessId());
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            path = std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(random() % 1000000000));
            if (std::filesystem::create_directory(path))
                return;
        }
        throw std::runtime_error("could not make a folder for " + prefix);
    }

    Temp_Folder::~Temp_Folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }

    void Temp_Folder::hide(const std::string& relative) const
    {
        const std::wstring entry = (path / relative).wstring();
        const DWORD attributes = GetFileAttributesW(entry.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            !SetFileAttributesW(entry.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN))
            throw std::runtime_error("could not hide " + relative);
    }
}
