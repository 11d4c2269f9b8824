// Helpers of the library browser that tests and the screen share.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "library/file.h"

namespace Corvane
{
    // The folders leading to the shown folder (without the root), then its children;
    // `path_length` receives how many of the first are path folders.
    std::vector<std::shared_ptr<File>> browser_list(const std::shared_ptr<File>& selection, size_t& path_length);
}
