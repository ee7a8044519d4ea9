#pragma once

#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// File-system steps the engine shares. None of them follows a symbolic link it meets.

// Absolute, "." and ".." resolved, no trailing separator.
std::filesystem::path cleanPath(const std::filesystem::path& path);

// Renames without ever replacing what is at `to`; false (and nothing changed) when something is.
// Other failures throw. A folder without write permission is opened for the move (a folder's
// entry ".." changes when it moves to another parent) and closed again afterwards.
bool renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// Removes a file or a tree, also one holding folders without write permission; errors ignored.
void removeTree(const std::filesystem::path& path) noexcept;

// Copies a file, link or tree with its permissions and modification times; links stay links, and
// pipes, sockets and devices are left out. `stop` is asked between entries; when it says yes the
// copy ends with ArchiveError cancelled.
void copyTree(const std::filesystem::path& from, const std::filesystem::path& to,
              const std::function<bool()>& stop = {});

// Why the current user may not create entries in the folder (read-only file system, permission),
// or no error when they may.
std::error_code folderWriteError(const std::filesystem::path& folder);

} // namespace tarvo::engine
