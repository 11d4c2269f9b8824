// Helpers of the library browser that tests and the screen share.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "library/file.h"

namespace Corvane
{
    // What the browser lists, in order: the folders leading to the shown folder (without the
    // root), then its children, which are not copied: a long folder costs its own length
    // once, not every frame.
    struct Browser_List
    {
        std::vector<std::shared_ptr<File>> path;                      // top first
        const std::vector<std::shared_ptr<File>>* children = nullptr; // of the shown folder

        size_t size() const { return path.size() + children->size(); }
        const std::shared_ptr<File>& operator[](size_t i) const
        {
            return i < path.size() ? path[i] : (*children)[i - path.size()];
        }
    };

    Browser_List browser_list(const std::shared_ptr<File>& selection);
}
