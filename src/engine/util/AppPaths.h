// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>

namespace tarvo::engine {

// The application's own folders, computed on each access from the environment.
class AppPaths
{
public:
    // $XDG_DATA_HOME/Tarvo, by default ~/.local/share/Tarvo.
    static std::filesystem::path supportDirectory();
    // Where the installer puts the RARLAB tools; named here, created by the installer.
    static std::filesystem::path toolDirectory();
    // $XDG_CACHE_HOME/Tarvo, by default ~/.cache/Tarvo.
    static std::filesystem::path cacheDirectory();
    // $XDG_STATE_HOME/tarvo, by default ~/.local/state/tarvo: what a run must leave for the next.
    static std::filesystem::path stateDirectory();
    static std::filesystem::path homeDirectory();
};

} // namespace tarvo::engine
