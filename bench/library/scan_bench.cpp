// Time to scan generated libraries against `find DIR -name '*.flac'` over the same tree in
// the same run, both with a warm cache, alternating: one of about 100,000 entries (3,050
// folders, 90,000 FLAC files, cover images, notes, hidden files and folders) and one of
// 100,000 tracks in 350 album folders. Prints both and their ratio; the scan should be no
// slower than find.
//
// Usage: bench_library_scan [PARENT]   (the tree is made in PARENT, default /dev/shm or /tmp)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "library/directory.h"

extern char** environ;

namespace
{
    constexpr int artists = 50;
    constexpr int albums_per_artist = 60;
    constexpr int tracks_per_album = 30;
    constexpr int rounds = 11;

    using Clock = std::chrono::steady_clock;

    void touch(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0)
        {
            std::perror(path.c_str());
            std::exit(2);
        }
        ::close(fd);
    }

    // Returns the number of entries made (files and folders).
    long make_big_albums(const std::filesystem::path& root)
    {
        long entries = 0;
        for (int album = 0; album < 350; ++album)
        {
            const std::filesystem::path folder =
                root / ("Artist " + std::to_string(album / 10 + 1)) /
                (std::to_string(1990 + album % 10) + " - Collected Works, Volume " + std::to_string(album % 10 + 1));
            std::filesystem::create_directories(folder);
            const int tracks = 285 + (album % 7 == 0 ? 5 : 0);
            for (int track = 0; track < tracks; ++track)
                touch(folder / ("CD" + std::to_string(track / 99 + 1) + " - " + std::to_string(track % 99 + 1) +
                                " - Performer Name - A Title of Some Length.flac"));
            touch(folder / "folder.jpg");
            entries += 1 + tracks + 1;
        }
        return entries;
    }

    // Returns the number of entries made (files and folders).
    long make_library(const std::filesystem::path& root)
    {
        long entries = 0;
        for (int artist = 0; artist < artists; ++artist)
        {
            const std::filesystem::path artist_folder = root / ("Artist " + std::to_string(artist));
            std::filesystem::create_directories(artist_folder / ".thumbnails");
            touch(artist_folder / ".thumbnails" / "cover.jpg");
            entries += 3;
            for (int album = 0; album < albums_per_artist; ++album)
            {
                const std::filesystem::path album_folder =
                    artist_folder / ("Album " + std::to_string(album + 1) + " (Remastered)");
                std::filesystem::create_directory(album_folder);
                for (int track = 0; track < tracks_per_album; ++track)
                    touch(album_folder / (std::to_string(track + 1) + " Title of track number " +
                                          std::to_string(track + 1) + ".flac"));
                touch(album_folder / "cover.jpg");
                touch(album_folder / "notes.txt");
                touch(album_folder / ".DS_Store");
                entries += 1 + tracks_per_album + 3;
            }
        }
        return entries;
    }

    double scan_seconds(size_t& tracks)
    {
        const Clock::time_point start = Clock::now();
        Corvane::Directory directory(nullptr);
        // Poll gently: a spinning main thread would take the core the scan needs.
        while (directory.loading.load(std::memory_order_acquire))
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        tracks = directory.all_tracks().size();
        return seconds;
    }

    // Runs find in the working directory with its output sent to `output`.
    double find_seconds(const char* output)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char* argv[] = {const_cast<char*>("find"), const_cast<char*>("."), const_cast<char*>("-name"),
                        const_cast<char*>("*.flac"), nullptr};
        const Clock::time_point start = Clock::now();
        pid_t child = 0;
        if (posix_spawnp(&child, "find", &actions, nullptr, argv, environ) != 0)
        {
            std::perror("find");
            std::exit(2);
        }
        int status = 0;
        waitpid(child, &status, 0);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        posix_spawn_file_actions_destroy(&actions);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        {
            std::fprintf(stderr, "find failed\n");
            std::exit(2);
        }
        return seconds;
    }

    long count_lines(const char* path)
    {
        std::FILE* file = std::fopen(path, "r");
        long lines = 0;
        for (int c; file && (c = std::fgetc(file)) != EOF;)
            lines += c == '\n';
        if (file)
            std::fclose(file);
        return lines;
    }

    double median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }
    // Makes the tree in PARENT, times scan and find alternately over it, prints, removes it.
    void bench_tree(const std::filesystem::path& parent, const char* what, long (*make)(const std::filesystem::path&))
    {
        std::string pattern = (parent / "corvane-scan-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
        {
            std::perror("mkdtemp");
            std::exit(2);
        }
        const std::filesystem::path root = pattern;
        const long entries = make(root);
        std::filesystem::current_path(root);

        // Warm the cache with one untimed run of each.
        const std::string listing = (parent / (root.filename().string() + ".find")).string();
        find_seconds(listing.c_str());
        const long found = count_lines(listing.c_str());
        size_t tracks = 0;
        scan_seconds(tracks);

        std::vector<double> scans, finds;
        for (int round = 0; round < rounds; ++round)
        {
            scans.push_back(scan_seconds(tracks));
            finds.push_back(find_seconds("/dev/null"));
        }
        std::filesystem::current_path(parent);
        std::filesystem::remove_all(root);
        std::filesystem::remove(listing);

        const double scan = median(scans), find = median(finds);
        const double fastest_scan = *std::min_element(scans.begin(), scans.end());
        const double fastest_find = *std::min_element(finds.begin(), finds.end());
        std::printf("%s: %ld entries in %s; scan found %zu tracks, find %ld\n", what, entries, parent.c_str(), tracks,
                    found);
        std::printf("  scan (median of %d): %.1f ms\n", rounds, scan * 1000.0);
        std::printf("  find (median of %d): %.1f ms\n", rounds, find * 1000.0);
        std::printf("  fastest: scan %.1f ms, find %.1f ms (ratio %.2f)\n", fastest_scan * 1000.0,
                    fastest_find * 1000.0, fastest_scan / fastest_find);
        std::printf("  ratio scan / find (medians): %.2f (target <= 1.0)\n", scan / find);
    }
}

int main(int argc, char** argv)
{
    const std::filesystem::path parent = argc > 1 ? argv[1] : (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    bench_tree(parent, "library of artists and albums", make_library);
    bench_tree(parent, "100,000 tracks in 350 album folders", make_big_albums);
    return 0;
}
