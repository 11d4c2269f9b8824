// File size from a handle opened with the wide path, so names beyond the code page work.
#include "platform/file_size.h"

#include <windows.h>

#include "platform/windows/wide.h"

namespace Platform
{
    std::optional<uint64_t> get_file_size(const std::string& path)
    {
        HANDLE file = CreateFileW(to_wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return std::nullopt;
        LARGE_INTEGER size{};
        const bool known = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size);
        CloseHandle(file);
        if (!known)
            return std::nullopt;
        return static_cast<uint64_t>(size.QuadPart);
    }
}
