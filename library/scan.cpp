// The walk that builds the library tree. A few threads list folders at once, since the time
// of a large library goes into reading folders; each folder's listing is read whole, closed,
// and sorted on keys made once per name by the thread that read it. Only when every folder
// is listed is the tree put together, bottom up on one thread: no recursion anywhere, so a
// tree thousands of folders deep cannot overflow a thread's stack.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string_view>
#include <thread>

#include "library/directory.h"
#include "platform/folder_listing.h"
#include "platform/logical_order.h"

namespace Corvane
{
    namespace
    {
        // Threads that list folders at most, the scan thread included: beyond a few, a
        // disk or the file system's locks, not the processors, set the pace.
        constexpr unsigned most_listing_threads = 4;

        // One folder met by the walk and what its listing held, each group sorted.
        struct Folder_Record
        {
            std::shared_ptr<File> folder;
            const Folder_Record* parent = nullptr;      // the folder above; null at the top
            Platform::Folder_Identity identity;         // all zero when it could not be opened
            std::vector<std::shared_ptr<File>> folders; // sub-folders, in logical order
            std::vector<std::shared_ptr<File>> tracks;  // in logical order
        };

        // Nodes of one folder with their sort keys, kept side by side in one buffer.
        struct Sorted_Entries
        {
            struct Entry
            {
                size_t key_offset = 0;
                size_t key_length = 0;
                std::shared_ptr<File> node;
            };

            void add(std::string_view name, File::Type type, const std::shared_ptr<File>& parent)
            {
                auto node = std::make_shared<File>();
                node->name = name;
                node->type = type;
                node->parent = parent;
                const size_t offset = keys.size();
                Platform::append_logical_key(name, keys);
                entries.push_back({offset, keys.size() - offset, std::move(node)});
            }

            // The nodes in logical order; names with equal keys fall back to their bytes.
            std::vector<std::shared_ptr<File>> take_sorted()
            {
                const std::string_view all = keys;
                const auto key = [&](const Entry& e) { return all.substr(e.key_offset, e.key_length); };
                std::sort(entries.begin(), entries.end(),
                          [&](const Entry& a, const Entry& b)
                          {
                              const int order = key(a).compare(key(b));
                              return order != 0 ? order < 0 : a.node->name < b.node->name;
                          });
                std::vector<std::shared_ptr<File>> nodes;
                nodes.reserve(entries.size());
                for (Entry& entry : entries)
                    nodes.push_back(std::move(entry.node));
                return nodes;
            }

            std::string keys;
            std::vector<Entry> entries;
        };

        // The folders waiting to be listed, shared by the listing threads.
        struct Walk
        {
            explicit Walk(const std::atomic<bool>& stop_flag) : stop(stop_flag) {}

            const std::atomic<bool>& stop;
            std::mutex mutex;
            std::condition_variable changed;
            std::deque<Folder_Record> records;   // every folder met, each after its parent
            std::vector<Folder_Record*> waiting; // last in, first out: depth first, few waiting
            unsigned busy = 0;                   // threads listing a folder now
            std::exception_ptr error;            // the first failure of any thread
        };

        // A track's extension is what follows the last '.', or the whole name without one;
        // it must be exactly "flac", in lower case.
        bool is_track_name(std::string_view name)
        {
            const std::string_view::size_type dot = name.rfind('.');
            return name.substr(dot == std::string_view::npos ? 0 : dot + 1) == "flac";
        }

        bool on_path(const Folder_Record* folder, const Platform::Folder_Identity& identity)
        {
            for (; folder; folder = folder->parent)
                if (folder->identity == identity)
                    return true;
            return false;
        }

        // Reads the folder's entries into `record`. A folder that cannot be opened, or that
        // is one of the folders above it again (a link leading back up), lists nothing.
        void list_folder(Folder_Record& record, const std::atomic<bool>& stop)
        {
            Platform::Folder_Listing listing(full_path(record.folder).c_str());
            if (!listing.handle || on_path(record.parent, listing.identity))
                return;
            record.identity = listing.identity;
            Sorted_Entries folders, tracks;
            while (listing.next() && !stop.load(std::memory_order_relaxed))
            {
                const std::string_view name = listing.name;
                if (name == "." || name == ".." || name == "Removed" || listing.hidden)
                    continue;
                if (listing.folder)
                    folders.add(name, File::FOLDER, record.folder);
                else if (is_track_name(name))
                    tracks.add(name, File::TRACK, record.folder);
            }
            record.folders = folders.take_sorted();
            record.tracks = tracks.take_sorted();
        }

        // Body of every listing thread: takes waiting folders until none is left and no
        // thread is listing one (which could bring more), or until the walk is given up.
        void list_waiting(Walk& walk)
        {
            std::unique_lock lock(walk.mutex);
            for (;;)
            {
                walk.changed.wait(lock, [&] { return !walk.waiting.empty() || walk.busy == 0 || walk.error; });
                if (walk.waiting.empty() || walk.error || walk.stop.load(std::memory_order_relaxed))
                    break;
                Folder_Record* record = walk.waiting.back();
                walk.waiting.pop_back();
                ++walk.busy;
                lock.unlock();
                std::exception_ptr error;
                try
                {
                    list_folder(*record, walk.stop);
                }
                catch (...)
                {
                    error = std::current_exception();
                }
                lock.lock();
                --walk.busy;
                try
                {
                    for (auto folder = record->folders.rbegin(); !error && folder != record->folders.rend(); ++folder)
                    {
                        walk.records.push_back({*folder, record, {}, {}, {}});
                        walk.waiting.push_back(&walk.records.back());
                    }
                }
                catch (...)
                {
                    error = std::current_exception();
                }
                if (error && !walk.error)
                    walk.error = error;
                walk.changed.notify_all();
            }
            walk.changed.notify_all();
        }

        // Stores every folder's entries, children before their parents: scanned sub-folders
        // that kept any entry, then tracks.
        void assemble(std::deque<Folder_Record>& records)
        {
            for (auto record = records.rbegin(); record != records.rend(); ++record)
            {
                std::vector<std::shared_ptr<File>> children = std::move(record->folders);
                std::erase_if(children, [](const std::shared_ptr<File>& f) { return f->children.empty(); });
                children.insert(children.end(), std::make_move_iterator(record->tracks.begin()),
                                std::make_move_iterator(record->tracks.end()));
                record->folder->children = std::move(children);
            }
        }

        // The helper threads of one walk, joined however the walk ends.
        struct Helpers
        {
            ~Helpers()
            {
                for (std::thread& thread : threads)
                    thread.join();
            }

            std::vector<std::thread> threads;
        };
    }

    bool logical_less(const std::shared_ptr<File>& a, const std::shared_ptr<File>& b)
    {
        return Platform::logical_compare(a->name, b->name) < 0;
    }

    void scan_folder(std::shared_ptr<File> folder, const std::atomic<bool>& stop)
    {
        Walk walk(stop);
        walk.records.push_back({std::move(folder), nullptr, {}, {}, {}});
        walk.waiting.push_back(&walk.records.back());
        {
            Helpers helpers;
            const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, most_listing_threads);
            try
            {
                for (unsigned i = 1; i < threads; ++i)
                    helpers.threads.emplace_back(list_waiting, std::ref(walk));
            }
            catch (const std::system_error&)
            {
                // Fewer threads only make the walk slower.
            }
            catch (...)
            {
                std::lock_guard lock(walk.mutex);
                walk.error = std::current_exception();
            }
            list_waiting(walk);
        }
        if (walk.error)
            std::rethrow_exception(walk.error);
        // Given up: the nodes made so far hold only their parents, so they go with `walk`.
        if (stop.load(std::memory_order_relaxed))
            return;
        assemble(walk.records);
    }
}
