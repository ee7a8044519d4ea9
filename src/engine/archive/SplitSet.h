// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::engine {

// An archive cut into parts: "x.7z.001" or "x.zip.001" on, as a splitter cuts any file; "x.z01" on
// with "x.zip" last, as zip -s writes them; "x.part1.rar" on; "x.rar" with "x.r00" on. Choosing any
// part means the whole set, which the tools open through one part.
struct SplitSet
{
    // The part the tools are given, which names the set ("x.7z.001", "x.zip", "x.part1.rar", "x.rar").
    std::filesystem::path opened;
    // Every part found beside it, in order.
    std::vector<std::filesystem::path> parts;
    std::uintmax_t bytes = 0;
    // The first part that is not there, when one is not: its number, counting from 1, and name.
    int missingNumber = 0;
    std::string missingName;

    // The set `path` names a part of; none for an archive in one piece. Looks at the names in the
    // part's folder; opens nothing but a zip -s set's last part, which counts its parts.
    static std::optional<SplitSet> of(const std::filesystem::path& path);
    // The archive the tools are to open for `path`: the set's opened part once every part is there,
    // else `path` itself. Throws partMissing naming the first part that is not there.
    static std::filesystem::path whole(const std::filesystem::path& path);
};

} // namespace tarvo::engine
