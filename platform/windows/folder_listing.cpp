// Folder listings through the wide FindFirstFileExW / FindNextFileW, so that every name
// reaches the program as UTF-8 whatever the system's code page. Hidden means the hidden
// attribute, as Explorer shows it.
#include "platform/folder_listing.h"

#include <windows.h>

#include <string>

#include "platform/windows/wide.h"

namespace Platform
{
    namespace
    {
        struct Listing
        {
            HANDLE find = INVALID_HANDLE_VALUE;
            WIN32_FIND_DATAW entry{};
            bool entry_unread = true; // FindFirstFileExW already filled the first entry
            std::string name;         // the current entry's name in UTF-8
        };

        std::wstring pattern_for(const char* path)
        {
            std::wstring pattern = to_wide(path);
            if (!pattern.empty() && pattern.back() != L'/' && pattern.back() != L'\\')
                pattern += L'/';
            return pattern + L'*';
        }

        // Volume and file index name one folder whatever path (junction, link) led to it.
        Folder_Identity identity_of(const char* path)
        {
            const std::wstring wide = *path ? to_wide(path) : std::wstring(L".");
            HANDLE folder =
                CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            if (folder == INVALID_HANDLE_VALUE)
                return {};
            BY_HANDLE_FILE_INFORMATION info{};
            Folder_Identity identity;
            if (GetFileInformationByHandle(folder, &info))
                identity = {info.dwVolumeSerialNumber, (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
            CloseHandle(folder);
            return identity;
        }
    }

    Folder_Listing::Folder_Listing(const char* path)
    {
        auto listing = new Listing;
        listing->find = FindFirstFileExW(pattern_for(path).c_str(), FindExInfoBasic, &listing->entry,
                                         FindExSearchNameMatch, nullptr, 0);
        if (listing->find == INVALID_HANDLE_VALUE)
        {
            delete listing;
            return;
        }
        handle = listing;
        identity = identity_of(path);
    }

    Folder_Listing::~Folder_Listing()
    {
        auto listing = static_cast<Listing*>(handle);
        if (!listing)
            return;
        FindClose(listing->find);
        delete listing;
    }

    bool Folder_Listing::next()
    {
        auto listing = static_cast<Listing*>(handle);
        if (!listing)
            return false;
        // FindNextFileW fails both at the end and on an error; either ends the listing.
        if (!listing->entry_unread && !FindNextFileW(listing->find, &listing->entry))
            return false;
        listing->entry_unread = false;
        listing->name = to_utf8(listing->entry.cFileName);
        name = listing->name.c_str();
        hidden = (listing->entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        folder = (listing->entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return true;
    }
}
