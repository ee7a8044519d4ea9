// SPDX-License-Identifier: GPL-3.0-or-later

#include "ScratchSpace.h"

#include "FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kRunPrefix = "run-";
// A run folder's name until it is locked: the sweep passes over it.
constexpr std::string_view kNewPrefix = ".new-";

int openFolder(int parent, const char* name)
{
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

ScratchSpace::ScratchSpace(fs::path root)
    : m_root(std::move(root))
{}

ScratchSpace::~ScratchSpace()
{
    // Removed while still locked, so that no sweep meets it half gone.
    if (!m_run.empty()) {
        removeTree(m_run);
    }
    if (m_lock >= 0) {
        ::close(m_lock);
    }
}

fs::path ScratchSpace::makeFolder()
{
    const std::lock_guard guard(m_mutex);
    if (m_run.empty()) {
        fs::create_directories(m_root);
        // Only a folder of the user's own, which nobody else may change: another user could
        // otherwise swap what is unpacked for a drag before the drop reads it.
        struct stat info
        {};
        if (::lstat(m_root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
            throw fs::filesystem_error("cannot create the folder", m_root,
                                       std::make_error_code(std::errc::not_a_directory));
        }
        if ((info.st_mode & 077) != 0) {
            fs::permissions(m_root, fs::perms::owner_all);
        }
        // Locked before it gets the name a sweep looks at, so that no other process's sweep can
        // take it for an abandoned one.
        const fs::path fresh = makePrivateFolder(m_root, kNewPrefix);
        const int lock = openFolder(AT_FDCWD, fresh.c_str());
        try {
            if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
                throw fs::filesystem_error("cannot lock the folder", fresh,
                                           std::error_code(errno, std::generic_category()));
            }
            const fs::path run =
                m_root / (std::string(kRunPrefix) + fresh.filename().string().substr(kNewPrefix.size()));
            if (!renameNoReplace(fresh, run)) {
                throw fs::filesystem_error("cannot create the folder", run,
                                           std::make_error_code(std::errc::file_exists));
            }
            m_run = run;
            m_lock = lock;
        } catch (...) {
            if (lock >= 0) {
                ::close(lock);
            }
            removeTree(fresh);
            throw;
        }
    }
    return makePrivateFolder(m_run, "");
}

void ScratchSpace::sweep(const fs::path& root) noexcept
{
    const int top = openFolder(AT_FDCWD, root.c_str());
    if (top < 0) {
        return;
    }
    DIR* const stream = ::fdopendir(top);
    if (stream == nullptr) {
        ::close(top);
        return;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(stream, ::closedir);
    std::vector<std::string> runs;
    while (const dirent* entry = ::readdir(stream)) {
        if (std::string_view(entry->d_name).starts_with(kRunPrefix)) {
            runs.emplace_back(entry->d_name);
        }
    }
    for (const std::string& name : runs) {
        // A link or a file of that name fails to open here and is left alone.
        const int run = openFolder(top, name.c_str());
        if (run < 0) {
            continue;
        }
        // Held until it is gone: a process that still runs keeps its lock, and one removal at a time.
        if (::flock(run, LOCK_EX | LOCK_NB) == 0) {
            removeTree(root / name);
        }
        ::close(run);
    }
}

} // namespace tarvo::engine
