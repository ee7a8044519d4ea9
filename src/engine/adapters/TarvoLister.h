// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/tools/ListerStatus.h"
#include "engine/tools/ToolRun.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/ArchiveListing.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace tarvo::engine {

// tarvo-lister, Tarvo's own lister on libarchive: ZIP, 7Z and the tar family, many times faster
// than lsar, with a ZIP's names in a legacy encoding told from its central directory.
class TarvoLister
{
public:
    using Status = lister::ListerStatus;

    // The format it is told to read for a kind; none for the kinds only lsar lists.
    static std::optional<std::string_view> formatOf(ArchiveKind kind);
    // One line per entry, read by readLine. `encoding`: what a ZIP's names that are not UTF-8 are
    // read in; empty: detected.
    static ToolRun list(const std::filesystem::path& lister, std::string_view format,
                        const std::filesystem::path& archive, std::string_view encoding);
    // Only the legacy encoding of a ZIP's names, on one line.
    static ToolRun detect(const std::filesystem::path& lister, const std::filesystem::path& archive,
                          std::string_view encoding);

    // One line of list(), added to `listing`; false when the line is no entry (the line telling the
    // names' encoding sets `nameEncoding`).
    static bool readLine(std::string_view line, ArchiveListing& listing);
};

} // namespace tarvo::engine
