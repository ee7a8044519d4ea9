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
};

} // namespace tarvo::engine
