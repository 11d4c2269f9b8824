// The scan on real folders: which entries become tracks and folders, pruning, the order of
// entries, links and loops, folders that cannot be read, very deep trees, a library without
// any track, and closing the library while the scan still runs.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <cstdio>
#include <functional>

#include "doubles/message_box_recorder.h"
#include "library/temp_library.h"

using Corvane::Directory;
using Corvane::File;
using Library_Test::describe;
using Library_Test::find_node;
using Library_Test::scanned_root;
using Library_Test::Temp_Library;

namespace
{
    // Every node hangs once under its parent, folders are never empty, tracks have no entries.
    void expect_sound_tree(const std::shared_ptr<File>& folder)
    {
        EXPECT_FALSE(folder->children.empty()) << folder->name;
        for (const std::shared_ptr<File>& child : folder->children)
        {
            EXPECT_EQ(child->parent, folder);
            EXPECT_FALSE(child->name.empty());
            if (child->type == File::FOLDER)
                expect_sound_tree(child);
            else
                EXPECT_TRUE(child->children.empty());
        }
    }

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

    TEST(Scan, KeepsLowerCaseFlacFilesAndSkipsRemovedAndHiddenEntries)
    {
        Temp_Library library;
        for (const char* path :
             {"song.flac", "song.tar.flac", "flac", "song.FLAC", "song.Flac", "notes.txt", "flac.txt", ".flac",
              ".hidden.flac", "Removed/a.flac", "removed/b.flac", "Removed2/c.flac", "deep/Removed/d.flac",
              "deep/e.flac", ".secret/f.flac", "x.flac/g.flac"})
            library.file(path);
        Directory directory(nullptr);
        const std::shared_ptr<File> root = scanned_root(directory);
        EXPECT_EQ(describe(root), "deep/(e.flac) removed/(b.flac) Removed2/(c.flac) x.flac/(g.flac) "
                                  "flac song.flac song.tar.flac");
        EXPECT_EQ(find_node(root, "x.flac")->type, File::FOLDER);
        EXPECT_EQ(find_node(root, "flac")->type, File::TRACK);
        expect_sound_tree(root);
        EXPECT_TRUE(Message_Box_Recorder::shown().empty());
    }

    TEST(Scan, PrunesFoldersWithoutTracksBottomUp)
    {
        Temp_Library library;
        library.folder("empty");
        library.folder("only_empty/inner/innermost");
        library.file("no_music/cover.jpg");
        library.file("no_music/sub/notes.txt");
        library.file("hidden_only/.a.flac");
        library.file("mixed/empty/sub/readme");
        library.file("mixed/keep/t.flac");
        library.file("mixed/pruned_below/Removed/t.flac");
        Directory directory(nullptr);
        const std::shared_ptr<File> root = scanned_root(directory);
        EXPECT_EQ(describe(root), "mixed/(keep/(t.flac))");
        expect_sound_tree(root);
    }

    TEST(Scan, PutsFoldersBeforeTracksEachInLogicalOrder)
    {
        Temp_Library library;
        for (const char* path : {"10.flac", "2.flac", "1.flac", "A.flac", "b.flac", "C.flac", "Z/z.flac", "a/a.flac",
                                 "track 20.flac", "track 000000000000000000000000000003.flac",
                                 "track 123456789012345678901234567890.flac", "Disc 10/x.flac", "disc 9/x.flac"})
            library.file(path);
        Directory directory(nullptr);
        const std::shared_ptr<File> root = scanned_root(directory);
        EXPECT_EQ(describe(root),
                  "a/(a.flac) disc 9/(x.flac) Disc 10/(x.flac) Z/(z.flac) "
                  "1.flac 2.flac 10.flac A.flac b.flac C.flac track 000000000000000000000000000003.flac "
                  "track 20.flac track 123456789012345678901234567890.flac");
    }

    TEST(Scan, EveryTrackOpensByItsPathFromTheWorkingDirectory)
    {
        Temp_Library library;
        for (const char* path : {"Jazz/Live/01 Intro.flac", "Jazz/a.b.c..flac", "with space/ x .flac",
                                 "Klassik/Bach/Suite No. 3/2. Air.flac", "top.flac"})
            library.file(path);
        Directory directory(nullptr);
        const std::shared_ptr<File> root = scanned_root(directory);
        const std::vector<std::shared_ptr<File>> tracks = directory.all_tracks();
        ASSERT_EQ(tracks.size(), 5u);
        EXPECT_EQ(full_path(tracks[0]), "Jazz/Live/01 Intro.flac");
        for (const std::shared_ptr<File>& track : tracks)
        {
            std::FILE* opened = std::fopen(full_path(track).c_str(), "rb");
            EXPECT_NE(opened, nullptr) << full_path(track);
            if (opened)
                std::fclose(opened);
        }
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

    TEST(Scan, WithoutAnyTrackEndsWithTheErrorBoxAndExitCodeOne)
    {
        Temp_Library library;
        for (const char* path : {"notes.txt", "song.FLAC", ".hidden.flac", "Removed/a.flac", ".dir/b.flac"})
            library.file(path);
        library.folder("empty/inner");
        EXPECT_EXIT(
            {
                Directory directory(nullptr);
                Library_Test::wait_for_scan(directory, 30.0);
            },
            testing::ExitedWithCode(1),
            "\\[Corvane Error\\] Could not find any FLAC files in this directory\\. "
            "Place Corvane in the directory that contains your music\\.");
    }

    // A few thousand folders: long enough a scan to close the library in its middle.
    void make_wide_library(Temp_Library& library)
    {
        for (int artist = 0; artist < 40; ++artist)
            for (int album = 0; album < 50; ++album)
                library.file("artist " + std::to_string(artist) + "/album " + std::to_string(album) + "/01.flac");
    }

    TEST(Scan, ClosingTheLibraryWhileItScansStopsTheScanQuietly)
    {
        Temp_Library library;
        make_wide_library(library);
        Message_Box_Recorder::clear();
        for (const auto delay :
             {std::chrono::microseconds(0), std::chrono::microseconds(500), std::chrono::microseconds(5000)})
        {
            std::weak_ptr<File> watched;
            {
                Directory directory(nullptr);
                watched = directory.selection;
                EXPECT_TRUE(directory.selection->name.empty());
                EXPECT_EQ(directory.selection->parent, nullptr);
                EXPECT_EQ(directory.selection->type, File::FOLDER);
                std::this_thread::sleep_for(delay);
            }
            EXPECT_TRUE(watched.expired());
        }
        EXPECT_TRUE(Message_Box_Recorder::shown().empty());

        // Left to finish, the walk (several threads list folders at once) loses no folder
        // and keeps the order.
        Directory directory(nullptr);
        scanned_root(directory);
        const std::vector<std::shared_ptr<File>> tracks = directory.all_tracks();
        ASSERT_EQ(tracks.size(), 2000u);
        for (size_t i = 0; i < tracks.size(); ++i)
            EXPECT_EQ(full_path(tracks[i]),
                      "artist " + std::to_string(i / 50) + "/album " + std::to_string(i % 50) + "/01.flac");
    }

    TEST(Scan, FinishedTreeIsFreedWithTheLibraryWhileHeldTracksKeepTheirPath)
    {
        Temp_Library library;
        library.file("A/a1.flac");
        library.file("A/a2.flac");
        std::shared_ptr<File> held;
        std::weak_ptr<File> other;
        {
            Directory directory(nullptr);
            const std::shared_ptr<File> root = scanned_root(directory);
            held = find_node(root, "A/a1.flac");
            other = find_node(root, "A/a2.flac");
        }
        EXPECT_TRUE(other.expired());
        EXPECT_EQ(full_path(held), "A/a1.flac");
    }
}
