// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo::engine {

// One entry of an archive as the lister reports it.
struct ArchiveEntry
{
    std::string path; // inside the archive, e.g. "Photos/cover.png"; never empty
    std::int64_t byteSize = 0;
    bool isDirectory = false;
    // The name's bytes as the archive stores them, when `path` reads them otherwise (a legacy
    // encoding, or bytes no encoding reads, shown as "%xx"); empty when they are the same. Tools
    // are told this one.
    std::string storedPath = {};

    // The icon the preview shows: "folder", "archivebox", "photo" or "doc".
    std::string_view symbol() const;

    bool operator==(const ArchiveEntry&) const = default;
};

} // namespace tarvo::engine
