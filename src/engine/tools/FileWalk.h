// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tarvo::engine {

// Counts the files a compression will pack, the total of its progress.
class FileWalk
{
public:
    // A top-level item counts 1 unless it is a folder (links followed for this question); folders
    // are walked to all depths without following links, skipping hidden items, and each regular
    // file met counts 1. Never less than 1.
    static long long count(const std::vector<std::filesystem::path>& items);

    // Whether the items' regular files, hidden ones too and links not followed, hold `bytes` or
    // more; the walk stops as soon as they do.
    static bool holdsAtLeast(const std::vector<std::filesystem::path>& items, std::uintmax_t bytes);
};

} // namespace tarvo::engine
