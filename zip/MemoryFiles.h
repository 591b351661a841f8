// Files that exist only in memory, added to a folder's archive as if they stood in the
// folder: relative names ('/' between levels) to their bytes.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "zip/MemoryFile.h"

namespace tavrin::zip {

// The order of a depth-first walk that takes each folder's entries in byte order of
// their names: relative paths compared byte by byte with '/' below every other byte,
// so "a/b" (inside folder "a") comes before "a-c" (beside it), as the walk meets them.
struct TreeOrder {
    bool operator()(const std::string& left, const std::string& right) const
    {
        const std::size_t common = left.size() < right.size() ? left.size() : right.size();
        for (std::size_t i = 0; i < common; ++i) {
            if (left[i] == right[i])
                continue;
            if (left[i] == '/')
                return true;
            if (right[i] == '/')
                return false;
            return static_cast<unsigned char>(left[i]) < static_cast<unsigned char>(right[i]);
        }
        return left.size() < right.size();
    }
};

using MemoryFiles = std::map<std::string, MemoryFile, TreeOrder>;

} // namespace tavrin::zip
