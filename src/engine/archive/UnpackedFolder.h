// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tarvo::engine {

// What makeSafe found in a folder a tool unpacked.
struct SafeResult
{
    int leftOut = 0;        // pipes, sockets and devices
    std::int64_t bytes = 0; // in regular files, each counted once however many names it has
};

// Makes what a tool unpacked safe to publish: nobody but the owner may change it (group and other
// write bits go, as a umask would take them), set-user-ID and set-group-ID bits go, and pipes,
// sockets and devices are left out: a pipe blocks whoever opens it, a device node opens hardware.
// Tells how many were left out and the bytes in files. The folder is private, so nothing can be
// swapped meanwhile. Names that are not UTF-8 become the names the listing shows (`encoding`: a
// ZIP's legacy one). Without `keepLinks`, symbolic links are left out too.
SafeResult makeSafe(const std::filesystem::path& folder, std::string_view encoding, bool keepLinks = true);

// A folder itself, not a link to one.
bool isRealDirectory(const std::filesystem::path& path);
// Its name begins with ".".
bool isHidden(const std::filesystem::path& path);

// The mode a folder made by the user gets: what their umask leaves of rwxrwxrwx.
std::filesystem::perms plainFolderMode();

} // namespace tarvo::engine
