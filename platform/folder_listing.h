// The entries of one folder as the system lists them: each entry's name and whether it is
// hidden or a folder. The library scan sees the file system only through this.
#pragma once

#include <cstdint>

namespace Platform
{
    // Which folder a listing reads, whatever path led to it: two listings of one folder (one
    // of them through a symbolic link, say) have equal identities.
    struct Folder_Identity
    {
        uint64_t device = 0;
        uint64_t node = 0;

        bool operator==(const Folder_Identity&) const = default;
    };

    // One open listing; entries come in the system's order, "." and ".." among them. Only
    // folders and regular files are listed, after following symbolic links: devices, pipes,
    // sockets and links that lead nowhere hold no music, and opening a pipe would block.
    class Folder_Listing
    {
    public:
        // Any thread; blocks on the file system; throws nothing. `path` is relative to the
        // working directory (empty: the working directory itself) or absolute. A folder that
        // cannot be opened (missing, no permission, path too long) lists no entries.
        explicit Folder_Listing(const char* path);
        ~Folder_Listing();
        Folder_Listing(const Folder_Listing&) = delete;
        Folder_Listing& operator=(const Folder_Listing&) = delete;

        // The constructor's thread; blocks on the file system; throws nothing. Moves to the
        // next entry and fills the entry fields; false when none is left or reading failed.
        bool next();

        void* handle = nullptr;     // the system's listing; null when the folder could not be opened
        Folder_Identity identity;   // of the listed folder; all zero when it could not be opened
        const char* name = nullptr; // current entry, NUL-terminated; valid until next()
        bool hidden = false;        // current entry's name starts with '.'
        bool folder = false;        // current entry is a folder or a symbolic link to one
    };
}
