// Paths, shown names and ancestry of library nodes, and the tear-down of a finished tree.
#include "library/file.h"

#include <algorithm>

namespace Corvane
{
    std::string display_name(const File& file)
    {
        if (file.type == File::FOLDER)
            return file.name;
        return file.name.substr(0, file.name.rfind('.'));
    }

    std::vector<std::shared_ptr<File>> lineage(std::shared_ptr<File> file)
    {
        std::vector<std::shared_ptr<File>> chain;
        for (std::shared_ptr<File> node = std::move(file); node; node = node->parent)
            chain.push_back(node);
        std::reverse(chain.begin(), chain.end());
        return chain;
    }

    std::string full_path(std::shared_ptr<File> file)
    {
        const std::vector<std::shared_ptr<File>> chain = lineage(file);
        std::string path;
        for (size_t i = 0; i < chain.size(); ++i)
        {
            if (chain[i]->name.empty())
                continue;
            path += chain[i]->name;
            if (!(file->type == File::TRACK && i + 1 == chain.size()))
                path += '/';
        }
        return path;
    }

    void release_tree(std::shared_ptr<File> root)
    {
        // An explicit stack rather than recursion: a tree may be thousands of folders deep.
        std::vector<std::shared_ptr<File>> pending;
        if (root)
            pending.push_back(std::move(root));
        while (!pending.empty())
        {
            const std::shared_ptr<File> node = std::move(pending.back());
            pending.pop_back();
            for (std::shared_ptr<File>& child : node->children)
                pending.push_back(std::move(child));
            node->children.clear();
        }
    }
}
