// The orders in which tracks follow one another: tree order (depth first, each folder's
// sub-folders before its tracks), cyclic in both directions, and the shuffle order, one
// random permutation of all tracks played through and then drawn anew.
#include <algorithm>
#include <random>

#include "library/directory.h"

namespace Corvane
{
    namespace
    {
        std::shared_ptr<File> root_of(std::shared_ptr<File> node)
        {
            while (node && node->parent)
                node = node->parent;
            return node;
        }

        // The first (forward) or last track inside `node`, or `node` itself if it is a track.
        std::shared_ptr<File> end_track(std::shared_ptr<File> node, bool forward)
        {
            while (node && node->type != File::TRACK)
            {
                if (node->children.empty())
                    return nullptr;
                node = forward ? node->children.front() : node->children.back();
            }
            return node;
        }

        // Process-wide shuffle state beside the engine: the current permutation and the index
        // in it of the track to play next.
        struct Shuffle_Order
        {
            std::vector<std::shared_ptr<File>> tracks;
            int32_t position = 0;
        };

        Shuffle_Order& shuffle_order()
        {
            static Shuffle_Order order;
            return order;
        }
    }

    std::mt19937& shuffle_engine()
    {
        static std::mt19937 engine(std::random_device{}());
        return engine;
    }

    std::shared_ptr<File> Directory::step(const std::shared_ptr<File>& from, Direction direction, Reach reach)
    {
        const bool forward = direction == Direction::forward;
        if (reach == Reach::inside)
            return end_track(from, forward);
        std::shared_ptr<File> node = from;
        while (node && node->parent)
        {
            const std::shared_ptr<File> parent = node->parent;
            const std::vector<std::shared_ptr<File>>& siblings = parent->children;
            const auto found = std::find(siblings.begin(), siblings.end(), node);
            if (found == siblings.end())
                return nullptr; // not among its parent's entries: not a finished tree
            const std::ptrdiff_t next = (found - siblings.begin()) + (forward ? 1 : -1);
            if (next >= 0 && next < std::ssize(siblings))
                return end_track(siblings[next], forward);
            if (!parent->parent) // past either end of the whole tree: wrap around
                return end_track(forward ? siblings.front() : siblings.back(), forward);
            node = parent;
        }
        return nullptr; // the root has no neighbours
    }

    std::vector<std::shared_ptr<File>> Directory::all_tracks()
    {
        std::vector<std::shared_ptr<File>> tracks;
        std::vector<std::shared_ptr<File>> pending;
        if (std::shared_ptr<File> root = root_of(selection))
            pending.push_back(std::move(root));
        while (!pending.empty())
        {
            std::shared_ptr<File> node = std::move(pending.back());
            pending.pop_back();
            if (node->type == File::TRACK)
                tracks.push_back(std::move(node));
            else
                pending.insert(pending.end(), node->children.rbegin(), node->children.rend());
        }
        return tracks;
    }

    std::vector<std::shared_ptr<File>> Directory::shuffled_tracks()
    {
        std::vector<std::shared_ptr<File>> tracks = all_tracks();
        std::mt19937& engine = shuffle_engine();
        for (size_t i = 1; i < tracks.size(); ++i)
        {
            const uint32_t k = draw_index(engine, static_cast<uint32_t>(i + 1));
            if (k != i)
                std::swap(tracks[i], tracks[k]);
        }
        return tracks;
    }

    std::shared_ptr<File> Directory::shuffle_current()
    {
        Shuffle_Order& order = shuffle_order();
        // An order drawn over another library's tree (a library made again in the same
        // process) would play nodes this library does not hold: draw one over this tree.
        if (order.tracks.empty() || root_of(order.tracks.front()) != root_of(selection))
        {
            order.tracks = shuffled_tracks();
            order.position = 0;
        }
        if (order.tracks.empty())
            return nullptr;
        return order.tracks[order.position];
    }

    void Directory::shuffle_advance()
    {
        Shuffle_Order& order = shuffle_order();
        if (order.position + 1 >= std::ssize(order.tracks))
        {
            order.position = 0;
            order.tracks = shuffled_tracks();
        }
        else
            ++order.position;
    }
}
