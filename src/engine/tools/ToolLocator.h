// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "RarSupport.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// The tar that creates and unpacks tar.gz archives.
struct TarTool
{
    std::filesystem::path path;
    // libarchive's bsdtar takes "--options gzip:compression-level=N"; GNU tar needs "-I gzip -N".
    bool isBsdtar = true;
    // pigz, which writes the same gzip format on every core; none: gzip on one.
    std::optional<std::filesystem::path> parallelGzip;
};

// Finds the optional archive tools. Keeps nothing between calls: every call looks again.
class ToolLocator
{
public:
    // The application's tool folder, then the local and system folders and Homebrew's, each tried
    // in this order before the search path.
    static std::vector<std::filesystem::path> searchFolders();

    // The first executable file of that name, or the one that `which` finds on the search path.
    // Only a file that nobody but root and this user can change counts: it, its folder and every
    // folder above belong to one of them, and none is writable by others (a folder above may be
    // when its sticky bit keeps entries to their owners, as /tmp's does).
    // An "unrar" that is Debian's unrar-free is passed over: it cannot decrypt and reports
    // failures with a status the unrar calls count as success.
    static std::optional<std::filesystem::path> executable(std::string_view name);

    static RarSupport rarSupport();

    // bsdtar when present, else GNU tar, with pigz from the system folders when present; none when
    // neither tar exists.
    static std::optional<TarTool> systemTar();

    static bool isExecutableFile(const std::filesystem::path& path);

    // Tarvo's own lister: $TARVO_LISTER when set (tests), else beside the running program, else in
    // the libexec folder of the installation.
    static std::optional<std::filesystem::path> entryLister();

private:
    static std::optional<std::filesystem::path> which(std::string_view name);
};

} // namespace tarvo::engine
