// The size of a file, for the track description.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Platform
{
    // Any thread; one quick file-system query; throws nothing. The size in bytes of the file at
    // `path` (relative to the working directory or absolute), or nothing when it cannot be read.
    std::optional<uint64_t> get_file_size(const std::string& path);
}
