// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "FinderRules.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tarvo::finder {

// Starts `tarvo --finder ACTION PATH...` in a session of its own with stdin on /dev/null, and returns
// without waiting for it. Throws std::system_error when it cannot be started.
void launchApplication(const std::filesystem::path& application, FinderAction action,
                       const std::vector<std::string>& paths);

} // namespace tarvo::finder
