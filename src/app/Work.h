// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/archive/ArchiveEngine.h"
#include "engine/archive/SplitSet.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/WorkAction.h"

#include <QList>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::app {

// A change to one archive of the preview, made in place by a job of the queue.
struct ArchiveEdit
{
    enum class Kind : std::uint8_t
    {
        add,
        remove,
        rename,
    };
    Kind kind = Kind::add;
    // add: files and folders from disk, cleaned with the request's paths, into the folder `into`.
    std::vector<std::filesystem::path> items{};
    std::string into{};
    engine::ClashChoice onClash = engine::ClashChoice::refuse;
    // remove: the entries; rename: the one entry and its new name.
    std::vector<std::string> entries{};
    std::string newName{};
    // Typed in the preview for the archive.
    std::string password{};

    bool operator==(const ArchiveEdit&) const = default;
};

// What is asked of the queue.
struct WorkRequest
{
    std::vector<std::filesystem::path> paths{}; // local files, cleaned when the request arrives
    bool interactive = false;                   // a person waits at a window: panels, alerts, reveal
    engine::WorkAction action = engine::WorkAction::automatic();
    long long plannedFiles = 0; // expected progress ticks of an extraction; 0 when unknown
    // Set: the one path is an archive the job changes so, and the action is not read.
    std::optional<ArchiveEdit> edit{};

    bool operator==(const WorkRequest&) const = default;
};

// One queued request, as the queue took it: its paths absolute and clean, and what the main window
// held for a new archive at that moment.
struct Work : WorkRequest
{
    std::string archiveName{};
    std::string archivePassword{};

    bool operator==(const Work&) const = default;
};

// The local files among dropped or handed URLs; only they reach the queue.
inline std::vector<std::filesystem::path> localFiles(const QList<QUrl>& urls)
{
    std::vector<std::filesystem::path> paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            paths.emplace_back(url.toLocalFile().toStdString());
        }
    }
    return paths;
}

// The archives among a job's items, in order; the other items are passed over. None is an error.
inline std::vector<std::filesystem::path> archivesIn(const Work& work)
{
    std::vector<std::filesystem::path> archives;
    for (const auto& path : work.paths) {
        if (engine::ArchiveKind::from(path)) {
            // Any part of an archive cut into parts is the set, once, by the part its tools open.
            const auto set = engine::SplitSet::of(path);
            const std::filesystem::path archive = set ? set->opened : path;
            if (std::find(archives.begin(), archives.end(), archive) == archives.end()) {
                archives.push_back(archive);
            }
        }
    }
    if (archives.empty()) {
        throw engine::ArchiveError(engine::ArchiveError::Case::notAnArchive);
    }
    return archives;
}

} // namespace tarvo::app
