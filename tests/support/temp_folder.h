// A scratch folder for one test, removed with everything in it, and the helpers that fill it.
#pragma once

#include <filesystem>
#include <string>

namespace Test_Support
{
    class Temp_Folder
    {
    public:
        // A new, empty folder named `prefix`-XXXXXX; with `in_memory`, on a memory file system
        // where there is one (fixtures of thousands of folders take milliseconds there where a
        // disk's journal can take seconds). Throws std::runtime_error when none can be made.
        explicit Temp_Folder(const std::string& prefix = "corvane", bool in_memory = false);
        ~Temp_Folder(); // also removes read-only parts and paths too long for one call
        Temp_Folder(const Temp_Folder&) = delete;
        Temp_Folder& operator=(const Temp_Folder&) = delete;

        // Each path relative to the folder; parent folders are made as needed.
        void folder(const std::string& relative) const;
        void file(const std::string& relative) const; // empty
        void link(const std::string& relative, const std::string& target) const;
        // Hides the entry at `relative` as this system does: on Linux its name gains a leading
        // '.' (the entry is renamed), on Windows it gets the hidden attribute.
        void hide(const std::string& relative) const;

        std::filesystem::path path;
    };

    // Makes `folder` the working directory until it goes, then restores the one before.
    class Working_Directory
    {
    public:
        explicit Working_Directory(const std::filesystem::path& folder);
        ~Working_Directory();
        Working_Directory(const Working_Directory&) = delete;
        Working_Directory& operator=(const Working_Directory&) = delete;

        std::filesystem::path previous;
    };
}
