// SPDX-License-Identifier: GPL-3.0-or-later

#include "AppPaths.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace tarvo::engine {

std::filesystem::path AppPaths::homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

std::filesystem::path AppPaths::supportDirectory()
{
    // Relative values are invalid by the base-directory rules and are ignored.
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base = (dataHome != nullptr && dataHome[0] == '/') ? std::filesystem::path(dataHome)
                                                                             : homeDirectory() / ".local" / "share";
    return base / "Tarvo";
}

std::filesystem::path AppPaths::cacheDirectory()
{
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    std::filesystem::path base =
        (cacheHome != nullptr && cacheHome[0] == '/') ? std::filesystem::path(cacheHome) : homeDirectory() / ".cache";
    return base / "Tarvo";
}

std::filesystem::path AppPaths::stateDirectory()
{
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    std::filesystem::path base = (stateHome != nullptr && stateHome[0] == '/') ? std::filesystem::path(stateHome)
                                                                               : homeDirectory() / ".local" / "state";
    return base / "tarvo";
}

std::filesystem::path AppPaths::toolDirectory()
{
    return supportDirectory() / "bin";
}

} // namespace tarvo::engine
