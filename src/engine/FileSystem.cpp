#include "FileSystem.h"

#include "ArchiveError.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tarvo::engine {

namespace fs = std::filesystem;

fs::path cleanPath(const fs::path& path)
{
    fs::path result = fs::absolute(path).lexically_normal();
    std::string text = result.native();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

namespace {

// rename(2) that never replaces; filesystems without RENAME_NOREPLACE (NFS, some FUSE) get a
// check first, which leaves only a tiny window.
int renameExclusive(const fs::path& from, const fs::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    struct stat existing
    {};
    if (::lstat(to.c_str(), &existing) == 0) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

} // namespace

bool renameNoReplace(const fs::path& from, const fs::path& to)
{
    int error = renameExclusive(from, to);
    struct stat info
    {};
    if (error == EACCES && ::lstat(from.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && !(info.st_mode & S_IWUSR)) {
        ::chmod(from.c_str(), info.st_mode | S_IWUSR);
        error = renameExclusive(from, to);
        ::chmod(error == 0 ? to.c_str() : from.c_str(), info.st_mode);
    }
    if (error == 0) {
        return true;
    }
    if (error == EEXIST || error == ENOTEMPTY) {
        return false;
    }
    throw fs::filesystem_error("cannot move", from, to, std::error_code(error, std::generic_category()));
}

void removeTree(const fs::path& path) noexcept
{
    std::error_code error;
    fs::remove_all(path, error);
    if (!error) {
        return;
    }
    // A folder without write permission (an archive may set such modes) keeps its entries:
    // open every folder up for its owner, then try again.
    std::vector<fs::path> pending{path};
    while (!pending.empty()) {
        const fs::path folder = std::move(pending.back());
        pending.pop_back();
        struct stat info
        {};
        if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            continue;
        }
        ::chmod(folder.c_str(), info.st_mode | S_IRWXU);
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            if (it->symlink_status(error).type() == fs::file_type::directory) {
                pending.push_back(it->path());
            }
        }
        error.clear();
    }
    fs::remove_all(path, error);
}

namespace {

void copyTimes(const fs::path& from, const fs::path& to)
{
    struct stat info
    {};
    if (::lstat(from.c_str(), &info) != 0) {
        return;
    }
    const timespec times[2] = {info.st_atim, info.st_mtim};
    ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

} // namespace

void copyTree(const fs::path& from, const fs::path& to, const std::function<bool()>& stop)
{
    if (stop && stop()) {
        throw ArchiveError(ArchiveError::Case::cancelled);
    }
    const fs::file_status status = fs::symlink_status(from);
    if (fs::is_symlink(status)) {
        fs::copy_symlink(from, to);
    } else if (fs::is_directory(status)) {
        // Its own mode last: a folder without write permission could not take its contents.
        fs::create_directory(to);
        for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
            copyTree(entry.path(), to / entry.path().filename(), stop);
        }
        fs::permissions(to, status.permissions());
    } else if (fs::is_regular_file(status)) {
        fs::copy_file(from, to);
    } else {
        // A pipe or device would block or stream forever; the archive tools leave them out too.
        return;
    }
    copyTimes(from, to);
}

std::error_code folderWriteError(const fs::path& folder)
{
    if (::access(folder.c_str(), W_OK | X_OK) == 0) {
        return {};
    }
    return std::error_code(errno, std::generic_category());
}

} // namespace tarvo::engine
