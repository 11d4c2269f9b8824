// The Windows folder listing, logical order and file size, on real folders: names beyond
// any ANSI code page come and go as UTF-8, hidden means the hidden attribute, and folders
// sort the way Explorer sorts them.
#include "platform/file_size.h"
#include "platform/folder_listing.h"
#include "platform/logical_order.h"
#include "platform/memory.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace
{
    namespace fs = std::filesystem;

    fs::path path_of(const std::string& utf8)
    {
        return fs::path(std::u8string(utf8.begin(), utf8.end()));
    }

    std::string utf8_of(const fs::path& path)
    {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }

    // A scratch folder made the working directory for the test's length.
    class Windows_Files : public testing::Test
    {
    protected:
        // `utf8` names a file relative to the scratch folder; it is written with `bytes` bytes.
        static void file(const std::string& utf8, size_t bytes = 0)
        {
            std::ofstream(path_of(utf8), std::ios::binary) << std::string(bytes, 'x');
        }

        static void hide(const std::string& utf8)
        {
            const fs::path path = path_of(utf8);
            SetFileAttributesW(path.c_str(), GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_HIDDEN);
        }

        Test_Support::Temp_Folder folder{"corvane-files"};
        Test_Support::Working_Directory inside{folder.path};
        const fs::path& root = folder.path;
    };

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

    TEST_F(Windows_Files, ListingCarriesNamesAsUtf8WithTheHiddenAttributeAndFolders)
    {
        fs::create_directories(path_of("Björk/日本語"));
        fs::create_directory(path_of("Hidden folder"));
        file("Jóga.flac");
        file("secret.flac");
        hide("secret.flac");
        hide("Hidden folder");
        const std::map<std::string, Entry> expected = {
            {".", {false, true}},          {"..", {false, true}},
            {"Björk", {false, true}},      {"Hidden folder", {true, true}},
            {"Jóga.flac", {false, false}}, {"secret.flac", {true, false}},
        };
        EXPECT_EQ(list(""), expected);
        EXPECT_EQ(list((utf8_of(root) + "/").c_str()), expected);
        EXPECT_EQ(list("Björk"), (std::map<std::string, Entry>{
                                     {".", {false, true}}, {"..", {false, true}}, {"日本語", {false, true}}}));
    }

    TEST_F(Windows_Files, FolderThatCannotBeOpenedListsNothingAndIdentityNamesTheFolder)
    {
        file("plain.flac");
        fs::create_directories("a/b");
        for (const char* path : {"missing", "plain.flac", "plain.flac/x"})
        {
            Platform::Folder_Listing listing(path);
            EXPECT_FALSE(listing.next()) << path;
            EXPECT_EQ(listing.identity, Platform::Folder_Identity{}) << path;
        }
        const Platform::Folder_Listing a("a"), same_a("a/b/.."), b("a/b");
        EXPECT_NE(a.identity, Platform::Folder_Identity{});
        EXPECT_EQ(a.identity, same_a.identity);
        EXPECT_NE(a.identity, b.identity);
    }

    TEST(Windows_Logical_Order, SortsAsTheShellDoes)
    {
        std::vector<std::string> names{"track 10.flac", "Track 2.flac", "Birnen", "Äpfel",
                                       "Apfel",         "track 1.flac", "apfel"};
        std::sort(names.begin(), names.end(),
                  [](const std::string& a, const std::string& b) { return Platform::logical_compare(a, b) < 0; });
        // Umlauts sort by their letter, not by their UTF-8 bytes (which would put them last);
        // names the shell holds equal stay apart, ordered by their bytes.
        EXPECT_EQ(names, (std::vector<std::string>{"Apfel", "apfel", "Äpfel", "Birnen", "track 1.flac", "Track 2.flac",
                                                   "track 10.flac"}));
        // Sort keys made once per name give the same order.
        std::vector<std::string> by_key = names;
        std::reverse(by_key.begin(), by_key.end());
        std::stable_sort(by_key.begin(), by_key.end(),
                         [](const std::string& a, const std::string& b)
                         {
                             std::string key_a, key_b;
                             Platform::append_logical_key(a, key_a);
                             Platform::append_logical_key(b, key_b);
                             return key_a != key_b ? key_a < key_b : a < b;
                         });
        EXPECT_EQ(by_key, names);
        EXPECT_EQ(Platform::logical_compare("same", "same"), 0);
        EXPECT_LT(Platform::logical_compare("Apfel", "apfel"), 0);
        EXPECT_GT(Platform::logical_compare("apfel", "Apfel"), 0);
    }

    TEST_F(Windows_Files, FileSizeThroughWidePaths)
    {
        fs::create_directory(path_of("日本語"));
        file("日本語/Jóga.flac", 12345);
        EXPECT_EQ(Platform::get_file_size("日本語/Jóga.flac"), 12345u);
        EXPECT_EQ(Platform::get_file_size((utf8_of(root) + "/日本語/Jóga.flac")), 12345u);
        EXPECT_EQ(Platform::get_file_size("missing.flac"), std::nullopt);
        EXPECT_EQ(Platform::get_file_size("日本語"), std::nullopt);
    }

    // A file may claim more samples than the machine could commit: such an array is still
    // had, reads as silence, and takes memory only where the decoder writes.
    TEST(Windows_Memory, ArraysBeyondTheCommitLimitAreFilledRangeByRange)
    {
        const size_t count = Platform::memory_size() / sizeof(double) * 2;
        double* claimed = Platform::reserve_doubles(count);
        ASSERT_NE(claimed, nullptr);
        Platform::commit_doubles(claimed, count - 1000, count);
        claimed[count - 1] = 1.5;
        EXPECT_EQ(claimed[count - 1000], 0.0);
        EXPECT_EQ(claimed[count - 1], 1.5);
        Platform::free_doubles(claimed);

        double* small = Platform::reserve_doubles(1000);
        EXPECT_EQ(small[999], 0.0); // committed whole: readable before any commit_doubles
        Platform::free_doubles(small);
        Platform::free_doubles(nullptr);
    }
}
