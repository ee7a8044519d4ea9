// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <string_view>

namespace tarvo::engine {

// The housekeeping files and folders other systems leave among a person's files, which new archives
// leave out on request. Each tool's home says them in that tool's own pattern syntax.
struct HousekeepingItem
{
    std::string_view name;
    bool isFolder = false;
};

inline constexpr std::array<HousekeepingItem, 6> kHousekeeping = {{
    {".DS_Store", false},
    {"__MACOSX", true},
    {".AppleDouble", true},
    {".Spotlight-V100", true},
    {".Trashes", true},
    {".fseventsd", true},
}};

// Whether a file or folder of this name is one of them.
constexpr bool isHousekeeping(std::string_view name) noexcept
{
    for (const HousekeepingItem& item : kHousekeeping) {
        if (item.name == name) {
            return true;
        }
    }
    return false;
}

} // namespace tarvo::engine
