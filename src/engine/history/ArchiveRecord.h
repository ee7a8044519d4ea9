// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/vocabulary/ArchiveFormat.h"
#include "engine/vocabulary/JobKind.h"

#include <chrono>
#include <string>

namespace tarvo::engine {

// One finished (or failed) job, as the history keeps it.
struct ArchiveRecord
{
    using Clock = std::chrono::system_clock;
    // Microseconds are what the history file keeps, so a saved record reads back equal.
    using TimePoint = std::chrono::time_point<Clock, std::chrono::microseconds>;

    std::string id; // upper-case UUID; the record's identity in lists
    JobKind kind = JobKind::compress;
    ArchiveFormat format = ArchiveFormat::zip;
    std::string title;      // what the history row shows, usually the result's file name
    std::string outputPath; // the result, or for a failure the job's first item (may be empty)
    TimePoint createdAt;
    bool succeeded = false;
    // For an archive of none of the four formats, its own kind ("tar.xz"), which the history shows
    // instead of the format's title; empty otherwise. Stored only when set, so older files read.
    std::string kindTitle;

    bool operator==(const ArchiveRecord&) const = default;

    // A new record with a fresh id, made now.
    static ArchiveRecord make(JobKind kind, ArchiveFormat format, std::string title, std::string outputPath,
                              bool succeeded);
};

} // namespace tarvo::engine
