// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveRecord.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// The history file: a compact JSON array of records, newest first. Dates are seconds since
// 2001-01-01 00:00:00 UTC, which keeps the file readable by the macOS build.
class HistoryStore
{
public:
    // $XDG_DATA_HOME/Tarvo/history.json, computed on each call.
    static std::filesystem::path fileURL();

    // Invalid UTF-8 in a text is written as U+FFFD rather than failing.
    static std::string encode(const std::vector<ArchiveRecord>& records);
    // None when the text is not JSON, not an array, or any one record in it does not decode.
    static std::optional<std::vector<ArchiveRecord>> decode(std::string_view json);

    // Empty when the file is missing, unreadable or does not decode; the file is never touched.
    static std::vector<ArchiveRecord> load();
    static std::vector<ArchiveRecord> load(const std::filesystem::path& file);

    // Replaces the file atomically, creating its folder when needed. An existing file that does not
    // decode is kept beside it as "<name>.bad" first. False when nothing was written; never throws.
    static bool save(const std::vector<ArchiveRecord>& records);
    static bool save(const std::vector<ArchiveRecord>& records, const std::filesystem::path& file);
};

} // namespace tarvo::engine
