// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// Text rules for the names of archives and of entries inside them.
class ArchiveNames
{
public:
    // The archive's file name without its archive extension ("photos.TAR.GZ" gives "photos").
    static std::string stem(const std::filesystem::path& archive);

    // The base of a new archive's name from what the user typed: trimmed, path separators made
    // "-", and at most one archive suffix removed. May be empty.
    static std::string sanitizedBase(std::string_view typed);

    // The base name of a new archive of `items`: the typed name sanitized, else the stem of a lone
    // item, else "Archive" in the interface language.
    static std::string archiveBase(std::string_view typed, const std::vector<std::filesystem::path>& items);

    // An entry path picked for single-entry extraction, trimmed; none when it is empty, absolute,
    // or has an empty or ".." piece.
    static std::optional<std::string> safeEntry(std::string_view entry);

    // A name of one part of an archive cut into parts, told by the name alone ("x.7z.001",
    // "x.zip.001", "x.z01", "x.part1.rar", "x.r00"): how its set numbers its parts, the name
    // without the part's number ("x.7z", "x"), and how many digits the number takes.
    struct SplitPart
    {
        enum class Family
        {
            numbered, // x.7z.001, x.zip.001
            zipSplit, // x.z01 on, then x.zip
            rarParts, // x.part1.rar on
            rarOld,   // x.rar, then x.r00 on
        };
        Family family;
        std::string base;
        std::size_t width = 0;
    };
    static std::optional<SplitPart> splitPart(std::string_view name);
};

} // namespace tarvo::engine
