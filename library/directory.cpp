// The library object's life: the root and the scan thread at construction, the scan's
// outcome (the finished tree, or the fatal error box), and an orderly end while it runs.
#include "library/directory.h"

#include "engine/error.h"
#include "engine/exception.h"

namespace Corvane
{
    Directory::Directory(Kestrane::Window* host) : window(host), selection(std::make_shared<File>())
    {
        loading.store(true, std::memory_order_relaxed);
        scan_thread = std::thread(scan, this);
    }

    Directory::~Directory()
    {
        stop_scan.store(true, std::memory_order_relaxed);
        if (scan_thread.joinable())
            scan_thread.join();
        std::shared_ptr<File> root = selection;
        while (root && root->parent)
            root = root->parent;
        release_tree(std::move(root));
    }

    void Directory::scan(Directory* directory)
    {
        try
        {
            const std::shared_ptr<File> root = directory->selection;
            scan_folder(root, directory->stop_scan);
            if (directory->stop_scan.load(std::memory_order_relaxed))
                return; // cut short: nobody is left to read the tree or to be told
            if (root->children.empty())
                throw Kestrane::Exception("Could not find any FLAC files in this directory. "
                                          "Place Corvane in the directory that contains your music.");
            directory->loading.store(false, std::memory_order_release);
        }
        catch (...)
        {
            Kestrane::show_fatal_error(Kestrane::handle_of(directory->window), Kestrane::current_exception_message());
        }
    }
}
