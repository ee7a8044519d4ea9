// SPDX-License-Identifier: GPL-3.0-or-later

#include "FileSystem.h"

#include "Leftovers.h"
#include "Uuid.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

std::error_code writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return lastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return ::fsync(fd) == 0 ? std::error_code() : lastError();
}

} // namespace

std::error_code replaceFile(const fs::path& file, std::string_view bytes,
                            const std::function<std::error_code()>& beforeReplace)
{
    try {
        const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
        const fs::path temporary = folder / ("." + file.filename().string() + ".tmp-" + makeUuid());
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            return lastError();
        }
        std::error_code error = writeAll(fd, bytes);
        if (::close(fd) != 0 && !error) {
            error = lastError();
        }
        if (!error && beforeReplace) {
            error = beforeReplace();
        }
        if (!error && ::rename(temporary.c_str(), file.c_str()) != 0) {
            error = lastError();
        }
        if (error) {
            ::unlink(temporary.c_str());
            return error;
        }
        // The rename itself reaches the disk with the folder.
        if (const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); folderFd >= 0) {
            ::fsync(folderFd);
            ::close(folderFd);
        }
        return {};
    } catch (const std::system_error& failure) {
        return failure.code();
    } catch (...) {
        return std::make_error_code(std::errc::not_enough_memory);
    }
}

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
        // Through a descriptor: once moved, the name `to` could be swapped for a link to elsewhere.
        const int folder = ::open(from.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder >= 0) {
            ::fchmod(folder, info.st_mode | S_IWUSR);
            error = renameExclusive(from, to);
            ::fchmod(folder, info.st_mode);
            ::close(folder);
        }
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

void linkOrCopyTree(const fs::path& from, const fs::path& to, const std::function<void()>& checkpoint)
{
    if (checkpoint) {
        checkpoint();
    }
    const fs::file_status status = fs::symlink_status(from);
    if (fs::is_symlink(status)) {
        fs::copy_symlink(from, to);
    } else if (fs::is_directory(status)) {
        // Its own mode last: until then nobody else may look in, and a folder without write
        // permission could not take its contents.
        if (::mkdir(to.c_str(), S_IRWXU) != 0) {
            throw fs::filesystem_error("cannot create the folder", to, lastError());
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
            linkOrCopyTree(entry.path(), to / entry.path().filename(), checkpoint);
        }
        fs::permissions(to, status.permissions());
    } else if (fs::is_regular_file(status)) {
        // Refused across file systems, for a file of another owner (protected_hardlinks), or past
        // the most links a file may have: then a copy.
        if (::link(from.c_str(), to.c_str()) == 0) {
            return;
        }
        fs::copy_file(from, to);
    } else {
        // A pipe or device would block or stream forever; the archive tools leave them out too.
        return;
    }
    copyTimes(from, to);
}

fs::path makePrivateFolder(const fs::path& parent, std::string_view prefix)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path folder = parent / (std::string(prefix) + makeUuid().substr(0, 6));
        // Recorded first: a kill between the two steps leaves nothing the next run does not know of.
        if (prefix.starts_with(".tarvo-")) {
            Leftovers::record(folder);
        }
        if (::mkdir(folder.c_str(), S_IRWXU) == 0) {
            return folder;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    throw fs::filesystem_error("cannot create the folder", parent, lastError());
}

fs::path hiddenWorkPath(const fs::path& directory, std::string_view suffix)
{
    fs::path path = directory / (".tarvo-" + makeUuid() + std::string(suffix));
    Leftovers::record(path);
    return path;
}

namespace {

// Opened without following a link, so that whatever is done through it reaches the item that was
// named, even when someone swaps the name meanwhile.
int openItem(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        throw fs::filesystem_error("cannot open", path, lastError());
    }
    return fd;
}

void throwUnless(bool done, const char* what, const fs::path& path, int fd)
{
    if (!done) {
        const std::error_code error = lastError();
        ::close(fd);
        throw fs::filesystem_error(what, path, error);
    }
}

} // namespace

void setMode(const fs::path& path, fs::perms mode)
{
    const int fd = openItem(path);
    throwUnless(::fchmod(fd, static_cast<mode_t>(mode)) == 0, "cannot set the permissions", path, fd);
    ::close(fd);
}

void flushToDisk(const fs::path& path)
{
    // An archive may give its owner no read permission: such a file is opened for writing, and for
    // such a folder every file system is flushed.
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == EACCES && (fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)) < 0 &&
        errno == EISDIR) {
        ::sync();
        return;
    }
    if (fd < 0) {
        throw fs::filesystem_error("cannot write to the disk", path, lastError());
    }
    struct stat info
    {};
    throwUnless(::fstat(fd, &info) == 0, "cannot write to the disk", path, fd);
    // A tree's thousands of files reach the disk at once with their file system; one by one, each
    // would wait for its own journal commit.
    const int result = S_ISDIR(info.st_mode) ? ::syncfs(fd) : ::fsync(fd);
    throwUnless(result == 0 || errno == EINVAL, "cannot write to the disk", path, fd);
    ::close(fd);
}

void flushFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw fs::filesystem_error("cannot write to the disk", folder, lastError());
    }
    throwUnless(::fsync(fd) == 0 || errno == EINVAL, "cannot write to the disk", folder, fd);
    ::close(fd);
}

std::error_code folderWriteError(const fs::path& folder)
{
    if (::access(folder.c_str(), W_OK | X_OK) == 0) {
        return {};
    }
    return std::error_code(errno, std::generic_category());
}

struct EarlyWriteback::Flusher
{
    int fd = -1;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;
};

EarlyWriteback::EarlyWriteback(const fs::path& folder)
    : m_flusher(std::make_unique<Flusher>())
{
    Flusher& flusher = *m_flusher;
    flusher.fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (flusher.fd < 0) {
        return;
    }
    flusher.thread = std::thread([&flusher] {
        std::unique_lock lock(flusher.mutex);
        while (!flusher.wake.wait_for(lock, std::chrono::milliseconds(100), [&flusher] { return flusher.stop; })) {
            lock.unlock();
            ::syncfs(flusher.fd);
            lock.lock();
        }
    });
}

EarlyWriteback::~EarlyWriteback()
{
    Flusher& flusher = *m_flusher;
    {
        const std::lock_guard lock(flusher.mutex);
        flusher.stop = true;
    }
    flusher.wake.notify_one();
    if (flusher.thread.joinable()) {
        flusher.thread.join();
    }
    if (flusher.fd >= 0) {
        ::close(flusher.fd);
    }
}

} // namespace tarvo::engine
