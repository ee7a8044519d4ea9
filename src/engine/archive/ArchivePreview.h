#pragma once

#include "ArchiveEntry.h"
#include "ArchiveSafety.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tarvo::engine {

// One archive in the extract preview.
struct ArchivePreviewItem
{
    std::string id; // a fresh UUID; the key of the password typed for this archive
    std::filesystem::path url;
    std::vector<ArchiveEntry> entries; // empty when the listing failed
    bool needsPassword = false;
    bool listingFailed = false;
    SafetyReport safety; // empty when the listing failed

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
