// The walk that builds the library tree. It keeps an explicit stack of the folders on the
// current path instead of recursing, so a tree thousands of folders deep cannot overflow the
// thread's stack, and it reads each folder's listing whole and closes it before going down,
// so the number of open listings stays one however deep the tree is.
#include <algorithm>
#include <string_view>

#include "library/directory.h"
#include "platform/folder_listing.h"
#include "platform/logical_order.h"

namespace Corvane
{
    namespace
    {
        // One folder on the current path and what its listing held.
        struct Frame
        {
            std::shared_ptr<File> folder;
            Platform::Folder_Identity identity;
            std::vector<std::shared_ptr<File>> folders; // sub-folders, each scanned in turn
            std::vector<std::shared_ptr<File>> tracks;
            size_t next = 0; // first sub-folder not yet scanned
        };

        // A track's extension is what follows the last '.', or the whole name without one;
        // it must be exactly "flac", in lower case.
        bool is_track_name(std::string_view name)
        {
            const std::string_view::size_type dot = name.rfind('.');
            return name.substr(dot == std::string_view::npos ? 0 : dot + 1) == "flac";
        }

        std::shared_ptr<File> make_node(std::string_view name, File::Type type, const std::shared_ptr<File>& parent)
        {
            auto node = std::make_shared<File>();
            node->name = name;
            node->type = type;
            node->parent = parent;
            return node;
        }

        bool on_path(const std::vector<Frame>& path, const Platform::Folder_Identity& identity)
        {
            return std::any_of(path.begin(), path.end(),
                               [&](const Frame& frame) { return frame.identity == identity; });
        }

        // Reads the folder's entries into `frame`. A folder that cannot be opened, or that
        // is one of the folders on `path` again (a link leading back up), lists nothing.
        void list_folder(Frame& frame, const std::vector<Frame>& path, const std::atomic<bool>& stop)
        {
            Platform::Folder_Listing listing(full_path(frame.folder).c_str());
            if (!listing.handle || on_path(path, listing.identity))
                return;
            frame.identity = listing.identity;
            while (listing.next() && !stop.load(std::memory_order_relaxed))
            {
                const std::string_view name = listing.name;
                if (name == "." || name == ".." || name == "Removed" || listing.hidden)
                    continue;
                if (listing.folder)
                    frame.folders.push_back(make_node(name, File::FOLDER, frame.folder));
                else if (is_track_name(name))
                    frame.tracks.push_back(make_node(name, File::TRACK, frame.folder));
            }
        }

        // Stores the folder's entries: scanned sub-folders that kept any, then tracks.
        void finish(Frame& frame)
        {
            std::erase_if(frame.folders, [](const std::shared_ptr<File>& f) { return f->children.empty(); });
            std::sort(frame.folders.begin(), frame.folders.end(), logical_less);
            std::sort(frame.tracks.begin(), frame.tracks.end(), logical_less);
            std::vector<std::shared_ptr<File>> children = std::move(frame.folders);
            children.insert(children.end(), std::make_move_iterator(frame.tracks.begin()),
                            std::make_move_iterator(frame.tracks.end()));
            frame.folder->children = std::move(children);
        }

        // A walk cut short leaves finished sub-trees in its lists; their links to their
        // children must be cut or they would keep each other alive.
        void abandon(std::vector<Frame>& path)
        {
            for (Frame& frame : path)
                for (std::shared_ptr<File>& folder : frame.folders)
                    release_tree(std::move(folder));
        }
    }

    bool logical_less(const std::shared_ptr<File>& a, const std::shared_ptr<File>& b)
    {
        return Platform::logical_compare(a->name, b->name) < 0;
    }

    void scan_folder(std::shared_ptr<File> folder, const std::atomic<bool>& stop)
    {
        std::vector<Frame> path;
        Frame first{std::move(folder), {}, {}, {}};
        list_folder(first, path, stop);
        path.push_back(std::move(first));
        while (!path.empty())
        {
            if (stop.load(std::memory_order_relaxed))
                return abandon(path);
            Frame& top = path.back();
            if (top.next == top.folders.size())
            {
                finish(top);
                path.pop_back();
                continue;
            }
            Frame child{top.folders[top.next++], {}, {}, {}};
            list_folder(child, path, stop);
            path.push_back(std::move(child));
        }
    }
}
