// Paths and ancestry of library nodes, on trees built by hand.
#include <gtest/gtest.h>

#include "library/file.h"

using Corvane::File;

namespace
{
    std::shared_ptr<File> add(const std::shared_ptr<File>& parent, const std::string& name, File::Type type)
    {
        auto node = std::make_shared<File>();
        node->name = name;
        node->type = type;
        node->parent = parent;
        if (parent)
            parent->children.push_back(node);
        return node;
    }

    struct Hand_Built : testing::Test
    {
        ~Hand_Built() override { Corvane::release_tree(root); }

        std::shared_ptr<File> root = add(nullptr, "", File::FOLDER);
        std::shared_ptr<File> jazz = add(root, "Jazz", File::FOLDER);
        std::shared_ptr<File> live = add(jazz, "Live", File::FOLDER);
        std::shared_ptr<File> intro = add(live, "01 Intro.flac", File::TRACK);
        std::shared_ptr<File> top = add(root, "top.flac", File::TRACK);
        std::shared_ptr<File> dotted = add(root, "v1.2 .. final", File::FOLDER);
        std::shared_ptr<File> dotted_track = add(dotted, "a.b..flac", File::TRACK);
    };

    // Folder names have no extension: a dot in one ("Vol. 2", "R.E.M.", "Symphony No. 5")
    // is part of the name.
    TEST_F(Hand_Built, DisplayNameDropsATracksExtensionAndKeepsAFolderWhole)
    {
        EXPECT_EQ(Corvane::display_name(*intro), "01 Intro");
        EXPECT_EQ(Corvane::display_name(*dotted_track), "a.b.");
        EXPECT_EQ(Corvane::display_name(*add(root, ".flac", File::TRACK)), "");
        EXPECT_EQ(Corvane::display_name(*add(root, "flac", File::TRACK)), "flac");
        EXPECT_EQ(Corvane::display_name(*dotted), "v1.2 .. final");
        EXPECT_EQ(Corvane::display_name(*add(root, "Vol. 2", File::FOLDER)), "Vol. 2");
        EXPECT_EQ(Corvane::display_name(*add(root, "x.flac", File::FOLDER)), "x.flac");
        EXPECT_EQ(Corvane::display_name(*root), "");
    }

    TEST_F(Hand_Built, FullPathEndsFoldersWithASlashAndTracksWithout)
    {
        EXPECT_EQ(Corvane::full_path(root), "");
        EXPECT_EQ(Corvane::full_path(jazz), "Jazz/");
        EXPECT_EQ(Corvane::full_path(live), "Jazz/Live/");
        EXPECT_EQ(Corvane::full_path(intro), "Jazz/Live/01 Intro.flac");
        EXPECT_EQ(Corvane::full_path(top), "top.flac");
        EXPECT_EQ(Corvane::full_path(dotted), "v1.2 .. final/");
        EXPECT_EQ(Corvane::full_path(dotted_track), "v1.2 .. final/a.b..flac");
    }

    TEST_F(Hand_Built, LineageRunsFromTheRootToTheNode)
    {
        EXPECT_EQ(Corvane::lineage(root), std::vector<std::shared_ptr<File>>{root});
        EXPECT_EQ(Corvane::lineage(top), (std::vector<std::shared_ptr<File>>{root, top}));
        EXPECT_EQ(Corvane::lineage(intro), (std::vector<std::shared_ptr<File>>{root, jazz, live, intro}));
    }

    TEST_F(Hand_Built, ReleasingTheTreeFreesWhatNothingElseHolds)
    {
        const std::weak_ptr<File> watched_top = top, watched_dotted = dotted;
        top.reset();
        dotted.reset();
        dotted_track.reset();
        Corvane::release_tree(root);
        EXPECT_TRUE(watched_top.expired());
        EXPECT_TRUE(watched_dotted.expired());
        EXPECT_EQ(Corvane::full_path(intro), "Jazz/Live/01 Intro.flac"); // still held: its parents stay
    }
}
