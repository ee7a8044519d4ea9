// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveEntry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::engine {

// What a lister read of an archive.
struct ArchiveListing
{
    std::vector<ArchiveEntry> entries; // in the lister's order, nameless ones left out
    bool isEncrypted = false;          // the archive or any entry is marked encrypted
    // The lister's own number of each entry (unar extracts single entries by it), -1 when absent.
    std::vector<std::int64_t> indexes;
    // What lsar adds when it could not read everything: its error code and whether a contents
    // list was there at all.
    std::optional<std::int64_t> listerError;
    bool hasContents = false;

    // An entry that is a link: its place in `entries`, where it points, and whether it is a hard
    // link (whose target is another entry's path) rather than a symbolic one.
    struct Link
    {
        std::size_t entry = 0;
        std::string target;
        bool hard = false;

        bool operator==(const Link&) const = default;
    };
    std::vector<Link> links;
    // The legacy encoding the names were read in ("Shift-JIS"), detected or chosen; empty when the
    // archive's names need none.
    std::string nameEncoding;
};

} // namespace tarvo::engine
