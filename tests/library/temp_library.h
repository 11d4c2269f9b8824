// Helpers of the library tests: a scratch folder made the working directory for the test's
// length, waiting for the scan, and a compact text picture of a scanned tree.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "library/directory.h"
#include "support/poll.h"
#include "support/temp_folder.h"

namespace Library_Test
{
    // A scratch folder made the working directory for the test's length.
    class Temp_Library : public Test_Support::Temp_Folder
    {
    public:
        Temp_Library() : Temp_Folder("corvane-library", true), working(path), root(path) {}

        Test_Support::Working_Directory working;
        std::filesystem::path root;
    };

    // Waits for the scan's hand-over; false if it has not come within `seconds`.
    inline bool wait_for_scan(const Corvane::Directory& directory, double seconds = 30.0)
    {
        return Test_Support::poll_until([&] { return !directory.loading.load(std::memory_order_acquire); },
                                        std::chrono::duration<double>(seconds));
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
