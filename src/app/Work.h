#pragma once

#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/WorkAction.h"

#include <filesystem>
#include <vector>

namespace tarvo::app {

// One queued request.
struct Work
{
    std::vector<std::filesystem::path> urls; // absolute paths of local files
    bool interactive = false;                // a person waits at a window: panels, alerts, reveal
    engine::WorkAction action = engine::WorkAction::automatic();
    long long plannedFiles = 0; // expected progress ticks of an extraction; 0 when unknown

    bool operator==(const Work&) const = default;
};

// The archives among a job's items, in order; the other items are passed over. None is an error.
inline std::vector<std::filesystem::path> archivesIn(const Work& work)
{
    std::vector<std::filesystem::path> archives;
    for (const auto& url : work.urls) {
        if (engine::ArchiveKind::from(url)) {
            archives.push_back(url);
        }
    }
    if (archives.empty()) {
        throw engine::ArchiveError(engine::ArchiveError::Case::notAnArchive);
    }
    return archives;
}

} // namespace tarvo::app
