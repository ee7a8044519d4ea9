// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveSafety.h"
#include "EntryTable.h"
#include "engine/vocabulary/ArchiveEntry.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tarvo::engine {

// One archive in the extract preview.
struct ArchivePreviewItem
{
    std::string id;            // a fresh UUID; the key of the password typed for this archive
    std::filesystem::path url; // for an archive cut into parts, the part its tools open
    // The archive's size on disk, all its parts together.
    std::uintmax_t byteSize = 0;
    // The first entries, as many as the preview shows before a search.
    static constexpr std::size_t kHeldEntries = 200;
    std::vector<ArchiveEntry> entries; // empty when the listing failed
    // Every entry, held small, for the search; shared, as it never changes once listed.
    std::shared_ptr<const EntryTable> table = std::make_shared<const EntryTable>();
    std::int64_t entryCount = 0; // all of them
    std::int64_t fileCount = 0;  // those that are no folder
    bool needsPassword = false;
    bool listingFailed = false;
    SafetyReport safety; // empty when the listing failed
    // The legacy encoding the names were read in (empty: they need none), and the one the user
    // chose (empty: detected).
    std::string nameEncoding;
    std::string chosenEncoding;

    bool operator==(const ArchivePreviewItem&) const = default;
};

// What the preview shows: one item per archive, in the order of the request.
struct ExtractPreview
{
    std::string id;
    std::vector<ArchivePreviewItem> items;

    bool operator==(const ExtractPreview&) const = default;
};

} // namespace tarvo::engine
