// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <system_error>
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

// Puts a file, link or tree at `to` with its permissions and modification times, for a tool to
// read: a regular file by a hard link where the file system allows one (no second copy of the
// data), by a copy elsewhere. Links stay links; pipes, sockets and devices are left out. A folder
// stays private to its owner until its contents are complete. `checkpoint` runs before each entry;
// what it throws (a cancellation, say) ends the work.
void linkOrCopyTree(const std::filesystem::path& from, const std::filesystem::path& to,
                    const std::function<void()>& checkpoint = {});

// A new folder in `parent`, named `prefix` and six random characters, private to its owner from
// the moment it exists. Recorded as a leftover before it exists (prefix ".tarvo-").
std::filesystem::path makePrivateFolder(const std::filesystem::path& parent, std::string_view prefix);

// A free hidden name in `directory` for a file a tool is about to write (".tarvo-UUID" and
// `suffix`), recorded as a leftover.
std::filesystem::path hiddenWorkPath(const std::filesystem::path& directory, std::string_view suffix = {});

// Sets the mode of the item itself, never of what a link put in its place points to.
void setMode(const std::filesystem::path& path, std::filesystem::perms mode);

// Waits until a file's data, or a whole tree with its file system, is on the disk.
void flushToDisk(const std::filesystem::path& path);
// Waits until the folder's entries (a rename into it) are on the disk.
void flushFolder(const std::filesystem::path& folder);

// While it lives, sends what is written to the file system of `folder` on to the disk every tenth
// of a second, beside the tool that writes it: the flush that makes a result durable then finds
// little left, where otherwise the system would have begun writing only after seconds.
class EarlyWriteback
{
public:
    explicit EarlyWriteback(const std::filesystem::path& folder);
    ~EarlyWriteback();
    EarlyWriteback(const EarlyWriteback&) = delete;
    EarlyWriteback& operator=(const EarlyWriteback&) = delete;

private:
    struct Flusher;
    std::unique_ptr<Flusher> m_flusher;
};

// Replaces `file` with `bytes` so that a reader sees the old content or the new, never a part: the
// bytes go to a hidden temporary file beside it, reach the disk, and only then are renamed over it.
// `beforeReplace` runs once the new bytes are safe and may refuse the replacement with an error.
// The error, or none; on an error `file` is as it was and no temporary file is left. Never throws.
std::error_code replaceFile(const std::filesystem::path& file, std::string_view bytes,
                            const std::function<std::error_code()>& beforeReplace = {});

// Why the current user may not create entries in the folder (read-only file system, permission),
// or no error when they may.
std::error_code folderWriteError(const std::filesystem::path& folder);

} // namespace tarvo::engine
