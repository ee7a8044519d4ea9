#pragma once

#include "WorkAction.h"

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

} // namespace tarvo::app
