// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <mutex>

namespace tarvo::engine {

// Folders for files that live only as long as this process. Each process gets one private
// "run-XXXXXX" folder under `root`, locked (flock) for as long as it runs, so that a later start
// can tell the folder of a process that ended without cleaning up from one still in use.
class ScratchSpace
{
public:
    explicit ScratchSpace(std::filesystem::path root);
    // Removes this process's folder with everything in it.
    ~ScratchSpace();
    ScratchSpace(const ScratchSpace&) = delete;
    ScratchSpace& operator=(const ScratchSpace&) = delete;

    // A new folder, private to its owner, in this process's folder (made on first use).
    std::filesystem::path makeFolder();

    // Removes the folders under `root` that no running process holds. Never follows a link;
    // errors are ignored.
    static void sweep(const std::filesystem::path& root) noexcept;

private:
    std::filesystem::path m_root;
    std::filesystem::path m_run;
    int m_lock = -1;
    std::mutex m_mutex;
};

} // namespace tarvo::engine
