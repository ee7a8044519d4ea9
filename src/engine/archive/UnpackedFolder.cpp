// SPDX-License-Identifier: GPL-3.0-or-later

// Making what a tool unpacked safe to hand on, and lifting a lone folder.
#include "UnpackedFolder.h"

#include "ArchiveEngine.h"
#include "engine/util/FileSystem.h"
#include "engine/util/LegacyNames.h"
#include "engine/util/TextUtil.h"
#include "engine/util/Uuid.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

// A name that is not UTF-8 gets the name the listing shows for it, read in `encoding`; another
// name that reads the same keeps its place, and this one takes a number. Where the file system
// refuses (a folder stored without write permission), the name stays as it was: the files matter more.
std::string readableOnDisk(int folder, const std::string& name, std::string_view encoding)
{
    const std::string readable = readableName(name, encoding);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const std::string candidate = attempt == 1 ? readable : readable + " (" + std::to_string(attempt) + ")";
        if (::renameat2(folder, name.c_str(), folder, candidate.c_str(), RENAME_NOREPLACE) == 0) {
            return candidate;
        }
        if (errno == EINVAL || errno == ENOSYS) {
            // A file system without RENAME_NOREPLACE (NFS, some FUSE ones); the folder is private,
            // so nothing can appear between the look and the rename.
            struct stat taken
            {};
            if (::fstatat(folder, candidate.c_str(), &taken, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT &&
                ::renameat(folder, name.c_str(), folder, candidate.c_str()) == 0) {
                return candidate;
            }
            errno = EEXIST;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return name;
}

// makeSafe's walk: what it found so far, and how it treats names and links.
struct SafeWalk
{
    SafeResult result;
    // Files with several names seen so far, so that their bytes count once.
    std::set<std::pair<dev_t, ino_t>> linked;
    std::string_view encoding;
    bool keepLinks = true;

    void below(int folder, const fs::path& shown);
};

// One folder of the walk, read through its descriptor (which it takes over): no path is resolved
// twice, and none through a link. Without `keepLinks`, symbolic links are left out too.
void SafeWalk::below(int folder, const fs::path& shown)
{
    constexpr mode_t kUnsafe = S_IWGRP | S_IWOTH | S_ISUID | S_ISGID;
    const auto fail = [&](const std::string& name) {
        throw fs::filesystem_error("cannot check what was unpacked", shown / name,
                                   std::error_code(errno, std::generic_category()));
    };
    DIR* const stream = ::fdopendir(folder);
    if (stream == nullptr) {
        ::close(folder);
        fail({});
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(stream, ::closedir);
    // All names first: a renamed entry may come round again in the same reading.
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    for (std::string name : names) {
        if (!isValidUtf8(name)) {
            name = readableOnDisk(folder, name, encoding);
        }
        struct stat info
        {};
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            fail(name);
        }
        if (S_ISLNK(info.st_mode)) {
            if (!keepLinks && ::unlinkat(folder, name.c_str(), 0) != 0) {
                fail(name);
            }
            continue;
        }
        if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
            if (::unlinkat(folder, name.c_str(), 0) != 0) {
                fail(name);
            }
            ++result.leftOut;
            continue;
        }
        if ((info.st_mode & kUnsafe) != 0 &&
            ::fchmodat(folder, name.c_str(), info.st_mode & 07777 & ~kUnsafe, 0) != 0) {
            fail(name);
        }
        if (S_ISREG(info.st_mode)) {
            if (info.st_nlink == 1 || linked.insert({info.st_dev, info.st_ino}).second) {
                result.bytes += info.st_size;
            }
            continue;
        }
        const int inner = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (inner < 0) {
            if (errno == EACCES) {
                continue; // a folder stored without permission to read it stays as it is
            }
            fail(name);
        }
        below(inner, shown / name);
    }
}

} // namespace

bool isRealDirectory(const fs::path& path)
{
    std::error_code error;
    return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

bool isHidden(const fs::path& path)
{
    return path.filename().native().starts_with('.');
}

SafeResult makeSafe(const fs::path& folder, std::string_view encoding, bool keepLinks)
{
    SafeWalk walk{{}, {}, encoding, keepLinks};
    const int top = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (top < 0) {
        throw fs::filesystem_error("cannot check what was unpacked", folder,
                                   std::error_code(errno, std::generic_category()));
    }
    walk.below(top, folder);
    return walk.result;
}

fs::perms plainFolderMode()
{
    std::ifstream status("/proc/self/status");
    unsigned mask = 022;
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Umask:")) {
            mask = static_cast<unsigned>(std::stoul(line.substr(6), nullptr, 8));
        }
    }
    return static_cast<fs::perms>(0777U & ~mask);
}

void ArchiveEngine::flattenSingleRoot(const fs::path& folder)
{
    std::vector<fs::path> visible;
    std::vector<std::string> hidden;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (isHidden(entry.path())) {
            hidden.push_back(entry.path().filename().string());
        } else {
            visible.push_back(entry.path());
        }
    }
    // A lone link, even to a folder, is not lifted: its target may lie anywhere.
    if (visible.size() != 1 || !isRealDirectory(visible.front())) {
        return;
    }
    const fs::path lone = visible.front();
    std::vector<fs::path> children;
    for (const auto& entry : fs::directory_iterator(lone)) {
        children.push_back(entry.path());
    }
    // A hidden item at the top stays there; if the lone folder holds one of the same name,
    // lifting would replace it, so the folder stays as it is.
    for (const auto& child : children) {
        if (std::find(hidden.begin(), hidden.end(), child.filename().string()) != hidden.end()) {
            return;
        }
    }
    // The lone folder goes aside first, so that a child with its own name (Photos/Photos) can move up.
    const fs::path aside = folder / (".tarvo-lift-" + makeUuid());
    if (!renameNoReplace(lone, aside)) {
        throw fs::filesystem_error("cannot move", lone, aside, std::make_error_code(std::errc::file_exists));
    }
    for (const auto& child : children) {
        const fs::path from = aside / child.filename();
        const fs::path to = folder / child.filename();
        if (!renameNoReplace(from, to)) {
            throw fs::filesystem_error("cannot move", from, to, std::make_error_code(std::errc::file_exists));
        }
    }
    fs::remove(aside);
}

} // namespace tarvo::engine
