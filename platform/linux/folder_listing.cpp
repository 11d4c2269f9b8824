// Folder listings through opendir/readdir. The entry type that readdir reports answers the
// folder question for almost every entry; only symbolic links (and file systems that do not
// report types) cost a stat.
#include "platform/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace Platform
{
    namespace
    {
        enum class Kind
        {
            folder,
            file,
            other,
        };

        Kind kind_of_mode(mode_t mode)
        {
            if (S_ISDIR(mode))
                return Kind::folder;
            return S_ISREG(mode) ? Kind::file : Kind::other;
        }

        Kind kind_of(DIR* dir, const dirent& entry)
        {
            switch (entry.d_type)
            {
            case DT_DIR: return Kind::folder;
            case DT_REG: return Kind::file;
            case DT_LNK:
            case DT_UNKNOWN: break;
            default: return Kind::other;
            }
            struct stat status;
            if (fstatat(dirfd(dir), entry.d_name, &status, 0) != 0)
                return Kind::other; // a link that leads nowhere, or the entry just vanished
            return kind_of_mode(status.st_mode);
        }
    }

    Folder_Listing::Folder_Listing(const char* path)
    {
        DIR* dir = opendir(*path ? path : ".");
        if (!dir)
            return;
        struct stat status;
        if (fstat(dirfd(dir), &status) != 0)
        {
            closedir(dir);
            return;
        }
        handle = dir;
        identity = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
    }

    Folder_Listing::~Folder_Listing()
    {
        if (handle)
            closedir(static_cast<DIR*>(handle));
    }

    bool Folder_Listing::next()
    {
        DIR* dir = static_cast<DIR*>(handle);
        if (!dir)
            return false;
        // readdir returns null both at the end and on a failure; either ends the listing.
        while (const dirent* entry = readdir(dir))
        {
            const Kind kind = kind_of(dir, *entry);
            if (kind == Kind::other)
                continue;
            name = entry->d_name;
            hidden = name[0] == '.';
            folder = kind == Kind::folder;
            return true;
        }
        return false;
    }
}
