// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <filesystem>

namespace tarvo::engine {

// The hidden files and folders Tarvo makes beside the user's files, each recorded in a journal of
// its run (under AppPaths::stateDirectory()) before it exists. A run holds a lock on its journal
// for as long as it lives, which the system lets go however it ends, a kill included; whatever run
// comes next removes what an ended run left at the recorded places, and nothing else.
class Leftovers
{
public:
    // Records `path`, which is about to be made. Without a writable state folder nothing is
    // recorded and the work goes on.
    static void record(const std::filesystem::path& path) noexcept;

    // Removes what runs that ended left, and then their journals; how many items it removed. Only
    // items of this user whose names Tarvo gives to hidden work (".tarvo-…") are touched.
    static std::size_t sweep() noexcept;
};

} // namespace tarvo::engine
