// Helpers of the library tests: a scratch folder made the working directory for the test's
// length, filled with folders, files and links, and a compact text picture of a scanned tree.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

#include "library/directory.h"

namespace Library_Test
{
    // Some fixtures make thousands of folders; on a memory file system that takes
    // milliseconds where a disk's journal can take seconds.
    inline std::filesystem::path scratch_space()
    {
        std::error_code error;
        if (std::filesystem::is_directory("/dev/shm", error) && access("/dev/shm", W_OK) == 0)
            return "/dev/shm";
        return std::filesystem::temp_directory_path();
    }

    class Temp_Library
    {
    public:
        Temp_Library()
        {
            previous = std::filesystem::current_path();
            std::string pattern = (scratch_space() / "corvane-library-XXXXXX").string();
            if (!mkdtemp(pattern.data()))
                throw std::runtime_error("mkdtemp failed");
            root = pattern;
            std::filesystem::current_path(root);
        }

        ~Temp_Library()
        {
            std::filesystem::current_path(previous);
            // rm copes with paths longer than the system accepts in one call.
            const std::string command = "chmod -R u+rwx '" + root.string() + "' 2>/dev/null; rm -rf '" + root.string() + "'";
            if (std::system(command.c_str()) != 0)
                ADD_FAILURE() << "could not remove " << root;
        }

        // Each path relative to the library; parent folders are made as needed.
        void folder(const std::string& path) { std::filesystem::create_directories(root / path); }

        void file(const std::string& path)
        {
            std::filesystem::create_directories((root / path).parent_path());
            const int fd = ::open((root / path).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0) << path;
            ::close(fd);
        }

        void link(const std::string& path, const std::string& target)
        {
            std::filesystem::create_directories((root / path).parent_path());
            std::filesystem::create_symlink(target, root / path);
        }

        std::filesystem::path root;
        std::filesystem::path previous;
    };

    // Waits for the scan's hand-over; false if it has not come within `seconds`.
    inline bool wait_for_scan(const Corvane::Directory& directory, double seconds = 30.0)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (directory.loading.load(std::memory_order_acquire))
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // "A/(a1.flac a2.flac) B/(b1.flac) r1.flac": a folder's entries in stored order.
    inline std::string describe(const std::shared_ptr<Corvane::File>& folder)
    {
        std::string text;
        for (const std::shared_ptr<Corvane::File>& child : folder->children)
        {
            if (!text.empty())
                text += ' ';
            text += child->name;
            if (child->type == Corvane::File::FOLDER)
                text += "/(" + describe(child) + ")";
        }
        return text;
    }

    // The node at `path` ("A/a1.flac") below `root`, or null.
    inline std::shared_ptr<Corvane::File> find_node(std::shared_ptr<Corvane::File> node, const std::string& path)
    {
        std::string::size_type start = 0;
        while (node && start < path.size())
        {
            const std::string::size_type end = std::min(path.find('/', start), path.size());
            const std::string name = path.substr(start, end - start);
            std::shared_ptr<Corvane::File> match;
            for (const auto& child : node->children)
                if (child->name == name)
                    match = child;
            node = match;
            start = end + 1;
        }
        return node;
    }

    // Scans the working directory with a Directory and waits for it.
    inline std::shared_ptr<Corvane::File> scanned_root(Corvane::Directory& directory)
    {
        EXPECT_TRUE(wait_for_scan(directory));
        return directory.selection;
    }
}
