// The scan on Linux: symbolic links (into folders, back up, dangling), a FIFO named like a
// track, folders the user may not read, and trees deeper than one path can name.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include "library/temp_library.h"

using Corvane::Directory;
using Corvane::File;
using Library_Test::describe;
using Library_Test::find_node;
using Library_Test::scanned_root;
using Library_Test::Temp_Library;

namespace
{
    // Makes `levels` nested folders named `name` below the working directory, one call per
    // level relative to the last, so that the chain may outgrow what one path can name.
    void make_chain(const std::string& name, int levels, const char* track)
    {
        int fd = ::open(".", O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; level < levels; ++level)
        {
            ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
            const int next = openat(fd, name.c_str(), O_DIRECTORY | O_CLOEXEC);
            ASSERT_GE(next, 0);
            ::close(fd);
            fd = next;
        }
        ::close(::openat(fd, track, O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        ::close(fd);
    }

    TEST(Scan, EntersLinkedFoldersButNeverALinkBackUp)
    {
        Temp_Library library;
        library.file("a/t.flac");
        library.link("a/up", "..");
        library.link("a/self", ".");
        library.link("a/up2", "../a");
        library.file("b/u.flac");
        library.link("b/to_a", "../a");
        library.link("link.flac", "a/t.flac");
        library.link("gone.flac", "nowhere.flac");
        ASSERT_EQ(mkfifo("pipe.flac", 0644), 0);
        Directory directory(nullptr);
        const std::shared_ptr<File> root = scanned_root(directory);
        EXPECT_EQ(describe(root), "a/(t.flac) b/(to_a/(t.flac) u.flac) link.flac");
        EXPECT_EQ(full_path(find_node(root, "b/to_a/t.flac")), "b/to_a/t.flac");
    }

    // Root reads any folder whatever its permissions. These two capabilities of the calling
    // thread allow that; threads it starts inherit its sets, so dropping them here reaches
    // the scan thread. Restored at the end of the scope.
    class Without_Permission_Override
    {
    public:
        Without_Permission_Override()
        {
            syscall(SYS_capget, &header, saved);
            __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
            reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
            syscall(SYS_capset, &header, reduced);
        }
        ~Without_Permission_Override() { syscall(SYS_capset, &header, saved); }

        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct saved[2]{};
    };

    TEST(Scan, FolderThatCannotBeOpenedIsPrunedLikeAnEmptyOne)
    {
        Temp_Library library;
        library.file("locked/t.flac");
        library.file("locked_deeper/inside/t.flac");
        library.file("open/u.flac");
        ASSERT_EQ(chmod("locked", 0), 0);
        ASSERT_EQ(chmod("locked_deeper/inside", 0), 0);
        Without_Permission_Override guard;
        if (DIR* probe = opendir("locked"))
        {
            closedir(probe);
            GTEST_SKIP() << "this user reads folders without permission";
        }
        Directory directory(nullptr);
        EXPECT_EQ(describe(scanned_root(directory)), "open/(u.flac)");
    }

    TEST(Scan, FolderBeyondTheLongestPathIsPruned)
    {
        Temp_Library library;
        library.file("short/s.flac");
        make_chain(std::string(200, 'n'), 25, "deep.flac"); // about 5,000 bytes of path
        Directory directory(nullptr);
        EXPECT_EQ(describe(scanned_root(directory)), "short/(s.flac)");
    }

    TEST(Scan, TreeTwoThousandFoldersDeepIsScannedWalkedAndFreed)
    {
        Temp_Library library;
        library.file("top.flac");
        make_chain("d", 2000, "bottom.flac");
        std::weak_ptr<File> watched;
        {
            Directory directory(nullptr);
            const std::shared_ptr<File> root = scanned_root(directory);
            const std::vector<std::shared_ptr<File>> tracks = directory.all_tracks();
            ASSERT_EQ(tracks.size(), 2u);
            const std::shared_ptr<File> bottom = tracks[0];
            EXPECT_EQ(bottom->name, "bottom.flac");
            EXPECT_EQ(lineage(bottom).size(), 2002u);
            EXPECT_EQ(full_path(bottom).size(), 2 * 2000 + std::string("bottom.flac").size());
            EXPECT_EQ(directory.step(bottom, Directory::Direction::forward, Directory::Reach::past), tracks[1]);
            EXPECT_EQ(directory.step(tracks[1], Directory::Direction::forward, Directory::Reach::past), bottom);
            EXPECT_EQ(directory.step(tracks[1], Directory::Direction::backward, Directory::Reach::past), bottom);
            EXPECT_EQ(directory.step(root, Directory::Direction::backward, Directory::Reach::inside), tracks[1]);
            watched = bottom;
        }
        EXPECT_TRUE(watched.expired());
    }
}
