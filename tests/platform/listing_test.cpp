// The platform's folder listing and logical order, which the scan builds on.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>

#include "platform/folder_listing.h"
#include "platform/logical_order.h"
#include "support/temp_folder.h"

namespace
{
    // A scratch folder that is the working directory for the test's length.
    struct Temp_Library : Test_Support::Temp_Folder
    {
        Temp_Library() : Temp_Folder("corvane-listing", true), working(path) {}
        Test_Support::Working_Directory working;
    };
}

namespace
{
    struct Entry
    {
        bool hidden;
        bool folder;
        bool operator==(const Entry&) const = default;
    };

    std::map<std::string, Entry> list(const char* path)
    {
        std::map<std::string, Entry> entries;
        Platform::Folder_Listing listing(path);
        while (listing.next())
            entries[listing.name] = {listing.hidden, listing.folder};
        return entries;
    }

    TEST(Folder_Listing, ReportsNamesHiddenAndFolderBitsFollowingLinks)
    {
        Temp_Library library;
        library.file("song.flac");
        library.file(".hidden");
        library.folder("sub");
        library.folder(".hidden_dir");
        library.link("to_sub", "sub");
        library.link("to_song", "song.flac");
        library.link("dangling", "nowhere");
        ASSERT_EQ(mkfifo("pipe", 0644), 0);
        const std::map<std::string, Entry> expected = {
            {".", {true, true}},        {"..", {true, true}},        {"song.flac", {false, false}},
            {".hidden", {true, false}}, {"sub", {false, true}},      {".hidden_dir", {true, true}},
            {"to_sub", {false, true}},  {"to_song", {false, false}},
        };
        EXPECT_EQ(list(""), expected);
        EXPECT_EQ(list(library.path.c_str()), expected);
    }

    TEST(Folder_Listing, FolderThatCannotBeOpenedListsNothing)
    {
        Temp_Library library;
        library.file("plain.flac");
        for (const char* path : {"missing", "plain.flac", "plain.flac/x"})
        {
            Platform::Folder_Listing listing(path);
            EXPECT_EQ(listing.handle, nullptr) << path;
            EXPECT_FALSE(listing.next()) << path;
        }
    }

    TEST(Folder_Listing, SameFolderThroughALinkHasTheSameIdentity)
    {
        Temp_Library library;
        library.folder("a");
        library.folder("b");
        library.link("to_a", "a");
        const Platform::Folder_Listing a("a"), b("b"), to_a("to_a");
        EXPECT_EQ(a.identity, to_a.identity);
        EXPECT_NE(a.identity, b.identity);
    }

    int order(const char* a, const char* b)
    {
        return Platform::logical_compare(a, b);
    }

    TEST(Logical_Order, NumbersByValueLettersWithoutCase)
    {
        EXPECT_LT(order("Track 2", "track 10"), 0);
        EXPECT_LT(order("1.flac", "2.flac"), 0);
        EXPECT_LT(order("2.flac", "10.flac"), 0);
        EXPECT_LT(order("apple", "Banana"), 0);
        EXPECT_LT(order("Banana", "cherry"), 0);
        EXPECT_LT(order("a9b", "a10a"), 0);
        EXPECT_LT(order("x 99999999999999999999999", "x 100000000000000000000000"), 0);
        EXPECT_LT(order("x 0000000000000000000000000000007", "x 8"), 0);
        EXPECT_LT(order("Disc", "disc 1"), 0); // a prefix comes first
        EXPECT_GT(order("10 b", "9 c"), 0);
        EXPECT_LT(order("z", "\xe9"), 0);                  // characters from U+0080 after every letter
        EXPECT_LT(order("Zo\xc3\xab", "\xc3\x89mile"), 0); // UTF-8 by code point: "Zoë" before "Émile"
        EXPECT_LT(order("\xc3\x89mile 9", "\xc3\x89mile 10"), 0);
        EXPECT_LT(order("\xe9t\xe9", "\xce\xa9"), 0); // invalid UTF-8 as Latin-1: "été" (U+00E9) before "Ω" (U+03A9)
        EXPECT_LT(order("\xc3\xa9", "\xc3\xa9t"), 0); // a prefix comes first, also past a two-byte character
        EXPECT_LT(order("_intro", "1 intro"), 0);     // symbols before numbers
        EXPECT_LT(order("9", "a"), 0);                // numbers before letters
    }

    TEST(Logical_Order, OnlyTheSameBytesCompareEqual)
    {
        EXPECT_EQ(order("", ""), 0);
        EXPECT_EQ(order("Same 01", "Same 01"), 0);
        EXPECT_NE(order("a", "A"), 0);
        EXPECT_NE(order("7", "007"), 0);
        EXPECT_EQ(order("a", "A"), -order("A", "a"));
        EXPECT_LT(order("", "a"), 0);
    }

    // Names drawn from pieces that provoke every rule: digits (and runs of them with leading
    // zeros), both cases, symbols, UTF-8 characters of two and three bytes, and bytes that
    // are not valid UTF-8 alone but may join into a character with their neighbours.
    std::string random_name(std::mt19937& engine)
    {
        static const std::vector<std::string> pieces = {
            "0", "0", "1",    "9",        "a",        "A",    "b",    "B",        " ",           ".",
            "-", "_", "\xe9", "\xc3\xa9", "\xc3\x89", "\xc3", "\xa9", "\xce\xa9", "\xe6\x97\xa5"};
        std::uniform_int_distribution<size_t> length(0, 6), pick(0, pieces.size() - 1);
        std::vector<std::string> chosen(length(engine));
        for (std::string& piece : chosen)
            piece = pieces[pick(engine)];
        return std::accumulate(chosen.begin(), chosen.end(), std::string());
    }

    TEST(Logical_Order, IsAStrictWeakOrderOnRandomNames)
    {
        std::mt19937 engine(20240611);
        std::vector<std::string> names(80);
        for (std::string& name : names)
            name = random_name(engine);
        const auto less = [](const std::string& a, const std::string& b)
        { return Platform::logical_compare(a, b) < 0; };
        for (const std::string& a : names)
        {
            EXPECT_FALSE(less(a, a)) << a;
            for (const std::string& b : names)
            {
                EXPECT_FALSE(less(a, b) && less(b, a)) << a << " | " << b;
                EXPECT_EQ(Platform::logical_compare(a, b) == 0, a == b) << a << " | " << b;
                for (const std::string& c : names)
                {
                    if (less(a, b) && less(b, c))
                    {
                        EXPECT_TRUE(less(a, c)) << a << " | " << b << " | " << c;
                    }
                    const bool a_b = !less(a, b) && !less(b, a), b_c = !less(b, c) && !less(c, b);
                    if (a_b && b_c)
                    {
                        EXPECT_TRUE(!less(a, c) && !less(c, a)) << a << " | " << b << " | " << c;
                    }
                }
            }
        }
        std::sort(names.begin(), names.end(), less); // a strict weak order sorts without fault
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), less));
    }

    // The scan sorts on keys made once per name: they must give the comparison's order,
    // with the bytes of the names deciding only where the comparison also falls back to them.
    TEST(Logical_Order, SortKeysOrderLikeTheComparison)
    {
        std::mt19937 engine(20261208);
        std::vector<std::string> names(120);
        for (std::string& name : names)
            name = random_name(engine);
        for (size_t digits : {1, 254, 255, 256, 300, 510})
            for (const char* lead : {"", "00"})
                names.push_back("x " + std::string(lead) + "1" + std::string(digits - 1, '0') + " b");
        const auto key = [](const std::string& name)
        {
            std::string k;
            Platform::append_logical_key(name, k);
            return k;
        };
        const auto sign = [](int v) { return (v > 0) - (v < 0); };
        for (const std::string& a : names)
            for (const std::string& b : names)
            {
                const int by_keys = key(a) != key(b) ? sign(key(a).compare(key(b))) : sign(a.compare(b));
                EXPECT_EQ(by_keys, sign(Platform::logical_compare(a, b))) << a << " | " << b;
            }
    }
}
