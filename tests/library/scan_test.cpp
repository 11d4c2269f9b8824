// The scan on real folders: which entries become tracks and folders, pruning, the order of
// entries, a library without any track, and closing the library while the scan still runs.
// Links, special files, permissions and very deep trees are in scan_linux_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <thread>

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

    TEST(Scan, KeepsLowerCaseFlacFilesAndSkipsRemovedAndHiddenEntries)
    {
        Temp_Library library;
        // No two names differ only in case: Windows would take them for one.
        for (const char* path :
             {"song.flac", "song.tar.flac", "flac", "loud.FLAC", "mixed.Flac", "notes.txt", "flac.txt", ".flac",
              "hidden.flac", "Removed/a.flac", "other/removed/b.flac", "Removed2/c.flac", "deep/Removed/d.flac",
              "deep/e.flac", "secret/f.flac", "x.flac/g.flac"})
            library.file(path);
        for (const char* path : {".flac", "hidden.flac", "secret"})
            library.hide(path);
        Directory directory(nullptr);
        const std::shared_ptr<File> root = scanned_root(directory);
        EXPECT_EQ(describe(root), "deep/(e.flac) other/(removed/(b.flac)) Removed2/(c.flac) x.flac/(g.flac) "
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
        library.file("hidden_only/a.flac");
        library.hide("hidden_only/a.flac");
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

    TEST(Scan, WithoutAnyTrackEndsWithTheErrorBoxAndExitCodeOne)
    {
        Temp_Library library;
        for (const char* path : {"notes.txt", "song.FLAC", "hidden.flac", "Removed/a.flac", "dir/b.flac"})
            library.file(path);
        library.hide("hidden.flac");
        library.hide("dir");
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
