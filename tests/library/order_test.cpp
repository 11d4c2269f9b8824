// Tree order (next and previous with wrap-around) and the shuffle order, on libraries scanned
// from real folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "library/temp_library.h"

using Corvane::Directory;
using Corvane::File;
using Library_Test::find_node;
using Library_Test::scanned_root;
using Library_Test::Temp_Library;

namespace
{
    // Stands in for the player: records what it was asked to load.
    struct Recording_Player
    {
        void load(std::shared_ptr<File> file) { loaded.push_back(std::move(file)); }

        bool loading = false;
        std::vector<std::shared_ptr<File>> loaded;
    };

    std::vector<std::string> names(const std::vector<std::shared_ptr<File>>& files)
    {
        std::vector<std::string> result;
        for (const auto& file : files)
            result.push_back(file ? file->name : "(null)");
        return result;
    }

    using Names = std::vector<std::string>;

    // The folders exist before the library that scans them.
    struct Example_Folders
    {
        Example_Folders()
        {
            for (const char* path : {"A/a1.flac", "A/a2.flac", "B/b1.flac", "r1.flac"})
                library.file(path);
        }

        Temp_Library library;
    };

    struct Example_Library : testing::Test
    {
        std::shared_ptr<File> track(const std::string& path) { return find_node(root, path); }

        Example_Folders folders;
        Directory directory{nullptr};
        std::shared_ptr<File> root = scanned_root(directory);
    };

    TEST_F(Example_Library, TreeOrderCrossesFoldersAndWrapsBothWays)
    {
        EXPECT_EQ(names(directory.all_tracks()), (Names{"a1.flac", "a2.flac", "b1.flac", "r1.flac"}));
        const auto next = [&](const char* path)
        { return directory.step(track(path), Directory::Direction::forward, Directory::Reach::past); };
        const auto previous = [&](const char* path)
        { return directory.step(track(path), Directory::Direction::backward, Directory::Reach::past); };
        EXPECT_EQ(next("A/a1.flac"), track("A/a2.flac"));
        EXPECT_EQ(next("A/a2.flac"), track("B/b1.flac"));
        EXPECT_EQ(next("B/b1.flac"), track("r1.flac"));
        EXPECT_EQ(next("r1.flac"), track("A/a1.flac"));
        EXPECT_EQ(previous("B/b1.flac"), track("A/a2.flac"));
        EXPECT_EQ(previous("A/a1.flac"), track("r1.flac"));
        EXPECT_EQ(previous("r1.flac"), track("B/b1.flac"));
        EXPECT_EQ(directory.step(root, Directory::Direction::forward, Directory::Reach::inside), track("A/a1.flac"));
        EXPECT_EQ(directory.step(root, Directory::Direction::backward, Directory::Reach::inside), track("r1.flac"));
        EXPECT_EQ(directory.step(track("A"), Directory::Direction::backward, Directory::Reach::inside),
                  track("A/a2.flac"));
        EXPECT_EQ(directory.step(track("B/b1.flac"), Directory::Direction::backward, Directory::Reach::inside),
                  track("B/b1.flac"));
    }

    TEST_F(Example_Library, NodesAreToldApartByAddressNotByName)
    {
        // A node of the same name that is not in the tree has no place in its order.
        auto stranger = std::make_shared<File>(*track("A/a1.flac"));
        EXPECT_EQ(directory.step(stranger, Directory::Direction::forward, Directory::Reach::past), nullptr);
        EXPECT_EQ(directory.step(root, Directory::Direction::forward, Directory::Reach::past), nullptr);
    }

    TEST(Tree_Order, NestedFolderTracksComeBeforeTheFoldersOwnTracks)
    {
        Temp_Library library;
        library.file("A/A1/x.flac");
        library.file("A/y.flac");
        Directory directory(nullptr);
        const std::shared_ptr<File> root = scanned_root(directory);
        const auto x = find_node(root, "A/A1/x.flac"), y = find_node(root, "A/y.flac");
        EXPECT_EQ(directory.step(x, Directory::Direction::forward, Directory::Reach::past), y);
        EXPECT_EQ(directory.step(y, Directory::Direction::backward, Directory::Reach::past), x);
        EXPECT_EQ(directory.step(y, Directory::Direction::forward, Directory::Reach::past), x);
        EXPECT_EQ(names(directory.all_tracks()), (Names{"x.flac", "y.flac"}));
    }

    TEST(Tree_Order, BackwardIsTheReverseOfForwardInALargerTree)
    {
        Temp_Library library;
        for (const char* path :
             {"1/1/a.flac", "1/1/b.flac", "1/2/c.flac", "1/d.flac", "2/3/4/e.flac", "2/f.flac", "g.flac"})
            library.file(path);
        Directory directory(nullptr);
        scanned_root(directory);
        const std::vector<std::shared_ptr<File>> forward = directory.all_tracks();
        EXPECT_EQ(names(forward), (Names{"a.flac", "b.flac", "c.flac", "d.flac", "e.flac", "f.flac", "g.flac"}));
        for (size_t i = 0; i < forward.size(); ++i)
        {
            const std::shared_ptr<File>& following = forward[(i + 1) % forward.size()];
            EXPECT_EQ(directory.step(forward[i], Directory::Direction::forward, Directory::Reach::past), following)
                << i;
            EXPECT_EQ(directory.step(following, Directory::Direction::backward, Directory::Reach::past), forward[i])
                << i;
        }
    }

    // The shuffle order is shared by the whole process, so an earlier test may have left an
    // order half played, perhaps from another library. Plays until a permutation of this
    // library starts afresh.
    void start_fresh_permutation(Directory& directory, size_t track_count)
    {
        const std::shared_ptr<File> root = directory.selection;
        Recording_Player player;
        for (int guard = 0; guard < 10000; ++guard)
        {
            ASSERT_TRUE(directory.shuffle_next(player));
            const bool ours = Corvane::lineage(player.loaded.back()).front() == root;
            directory.selection = root; // so that the next order is drawn from this library
            if (ours)
                break;
        }
        for (size_t i = 1; i < track_count; ++i)
            ASSERT_TRUE(directory.shuffle_next(player));
    }

    TEST_F(Example_Library, ShuffledTracksHoldEveryTrackOnceInVaryingOrders)
    {
        const std::vector<std::shared_ptr<File>> all = directory.all_tracks();
        const std::set<std::shared_ptr<File>> expected(all.begin(), all.end());
        std::set<Names> orders;
        for (int round = 0; round < 600; ++round)
        {
            const std::vector<std::shared_ptr<File>> shuffled = directory.shuffled_tracks();
            ASSERT_EQ(shuffled.size(), all.size());
            EXPECT_EQ(std::set<std::shared_ptr<File>>(shuffled.begin(), shuffled.end()), expected);
            orders.insert(names(shuffled));
        }
        EXPECT_EQ(orders.size(), 24u); // 600 draws miss one of 24 orders with odds below 1e-9
    }

    TEST(Shuffle, EveryOrderOfThreeTracksIsEquallyLikely)
    {
        Temp_Library library;
        for (const char* path : {"a.flac", "b.flac", "c.flac"})
            library.file(path);
        Directory directory(nullptr);
        scanned_root(directory);
        std::map<Names, int> counts;
        for (int round = 0; round < 6000; ++round)
            ++counts[names(directory.shuffled_tracks())];
        ASSERT_EQ(counts.size(), 6u);
        for (const auto& [order, count] : counts) // expected 1000 each, standard deviation about 29
            EXPECT_NEAR(count, 1000, 150) << order[0] << order[1] << order[2];
    }

    TEST_F(Example_Library, SeededEngineGivesTheseExactOrders)
    {
        // Worked out apart from the program, from the engine's definition and the shuffle's
        // steps; successive shuffles go on with the same engine.
        Corvane::shuffle_engine().seed(2026);
        EXPECT_EQ(names(directory.shuffled_tracks()), (Names{"b1.flac", "a2.flac", "r1.flac", "a1.flac"}));
        EXPECT_EQ(names(directory.shuffled_tracks()), (Names{"b1.flac", "r1.flac", "a2.flac", "a1.flac"}));
        EXPECT_EQ(names(directory.shuffled_tracks()), (Names{"r1.flac", "b1.flac", "a2.flac", "a1.flac"}));
    }

    // Yields scripted 32-bit values in place of the random engine.
    struct Scripted_Engine
    {
        uint32_t operator()() { return values.at(used++); }

        std::vector<uint32_t> values;
        size_t used = 0;
    };

    TEST(Shuffle, DrawRefusesTheTopValuesThatWouldFavourLowResults)
    {
        Scripted_Engine seven{{0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFCu, 10u}};
        EXPECT_EQ(Corvane::draw_index(seven, 7), 3u); // 7 * 613566756 = 0xFFFFFFFC and above are refused
        EXPECT_EQ(seven.used, 4u);
        Scripted_Engine just_below{{0xFFFFFFFBu}};
        EXPECT_EQ(Corvane::draw_index(just_below, 7), 6u);
        Scripted_Engine three{{0xFFFFFFFFu, 0xFFFFFFFEu}}; // 3 divides 2^32 - 1: only the largest is refused
        EXPECT_EQ(Corvane::draw_index(three, 3), 2u);
        EXPECT_EQ(three.used, 2u);
        Scripted_Engine power_of_two{{0xFFFFFFFFu}}; // no value is ever refused
        EXPECT_EQ(Corvane::draw_index(power_of_two, 4), 3u);
    }

    TEST_F(Example_Library, ShuffleNextPlaysEachTrackOncePerPermutationThenDrawsAnew)
    {
        const size_t n = directory.all_tracks().size();
        start_fresh_permutation(directory, n);
        Recording_Player player;
        for (int permutation = 0; permutation < 3; ++permutation)
        {
            for (size_t i = 0; i < n; ++i)
            {
                ASSERT_TRUE(directory.shuffle_next(player));
                EXPECT_EQ(directory.selection, player.loaded.back());
            }
            const std::vector<std::shared_ptr<File>> played(player.loaded.end() - n, player.loaded.end());
            EXPECT_EQ(std::set<std::shared_ptr<File>>(played.begin(), played.end()).size(), n) << permutation;
        }
    }

    TEST_F(Example_Library, ShuffleNextWhileThePlayerLoadsChangesNothing)
    {
        const size_t n = directory.all_tracks().size();
        start_fresh_permutation(directory, n);
        Recording_Player player;
        ASSERT_TRUE(directory.shuffle_next(player));
        const std::shared_ptr<File> selected = directory.selection;
        player.loading = true;
        EXPECT_FALSE(directory.shuffle_next(player));
        EXPECT_FALSE(directory.shuffle_next(player));
        EXPECT_EQ(directory.selection, selected);
        EXPECT_EQ(player.loaded.size(), 1u);
        player.loading = false;
        for (size_t i = 1; i < n; ++i) // the refused calls did not move the position
            ASSERT_TRUE(directory.shuffle_next(player));
        EXPECT_EQ(std::set<std::shared_ptr<File>>(player.loaded.begin(), player.loaded.end()).size(), n);
    }

    TEST(Shuffle, SingleTrackLibraryAlwaysComesBackToItsTrack)
    {
        Temp_Library library;
        library.file("Only/one.flac");
        Directory directory(nullptr);
        const std::shared_ptr<File> one = find_node(scanned_root(directory), "Only/one.flac");
        EXPECT_EQ(directory.step(one, Directory::Direction::forward, Directory::Reach::past), one);
        EXPECT_EQ(directory.step(one, Directory::Direction::backward, Directory::Reach::past), one);
        EXPECT_EQ(directory.all_tracks(), std::vector<std::shared_ptr<File>>{one});
        EXPECT_EQ(directory.shuffled_tracks(), std::vector<std::shared_ptr<File>>{one});
        start_fresh_permutation(directory, 1);
        Recording_Player player;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(directory.shuffle_next(player));
        EXPECT_EQ(player.loaded, (std::vector<std::shared_ptr<File>>(3, one)));
    }

    TEST(Shuffle, ALibraryMadeAgainShufflesOnlyItsOwnTracks)
    {
        Recording_Player player;
        {
            Temp_Library first;
            first.file("old1.flac");
            first.file("old2.flac");
            Directory directory(nullptr);
            scanned_root(directory);
            ASSERT_TRUE(directory.shuffle_next(player)); // leaves the order mid-way
        }
        Temp_Library second;
        second.file("new.flac");
        Directory directory(nullptr);
        const std::shared_ptr<File> only = find_node(scanned_root(directory), "new.flac");
        ASSERT_TRUE(directory.shuffle_next(player));
        EXPECT_EQ(player.loaded.back(), only);
    }
}
