// SPDX-License-Identifier: GPL-3.0-or-later

#include "Leftovers.h"

#include "AppPaths.h"
#include "FileSystem.h"
#include "Uuid.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kJournalPrefix = "run-";
constexpr std::string_view kHiddenPrefix = ".tarvo-";

fs::path journalFolder()
{
    return AppPaths::stateDirectory() / "runs";
}

// One line per path: a line break and the escape sign itself are escaped.
std::string escaped(const std::string& path)
{
    std::string line;
    line.reserve(path.size() + 1);
    for (const char c : path) {
        if (c == '%') {
            line += "%25";
        } else if (c == '\n') {
            line += "%0A";
        } else {
            line += c;
        }
    }
    line += '\n';
    return line;
}

std::string unescaped(std::string_view line)
{
    std::string path;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '%' && line.substr(i, 3) == "%25") {
            path += '%';
            i += 2;
        } else if (line[i] == '%' && line.substr(i, 3) == "%0A") {
            path += '\n';
            i += 2;
        } else {
            path += line[i];
        }
    }
    return path;
}

class Journal
{
public:
    void append(const fs::path& path)
    {
        const std::lock_guard lock(m_mutex);
        if (m_fd < 0 && !open()) {
            return;
        }
        const std::string line = escaped(path.string());
        [[maybe_unused]] const ssize_t written = ::write(m_fd, line.data(), line.size());
    }

private:
    // Locked before it takes its name, so that no sweep ever sees it unlocked while this run lives.
    bool open()
    {
        std::error_code error;
        const fs::path folder = journalFolder();
        fs::create_directories(folder, error);
        const std::string name = std::string(kJournalPrefix) + makeUuid();
        const fs::path draft = folder / ("." + name);
        const int fd = ::open(draft.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(draft.c_str(), (folder / name).c_str()) != 0) {
            ::unlink(draft.c_str());
            ::close(fd);
            return false;
        }
        m_fd = fd;
        return true;
    }

    std::mutex m_mutex;
    int m_fd = -1; // open, and locked, until the process ends
};

Journal& journal()
{
    static auto* instance = new Journal; // never closed: its lock must last to the very end
    return *instance;
}

bool isOurs(const fs::path& path)
{
    struct stat info
    {};
    return path.is_absolute() && path.filename().string().starts_with(kHiddenPrefix) &&
           ::lstat(path.c_str(), &info) == 0 && info.st_uid == ::geteuid() &&
           (S_ISDIR(info.st_mode) || S_ISREG(info.st_mode));
}

std::string readAll(int fd)
{
    std::string content;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return content;
}

// The items of an ended run's journal; the journal goes once none of them is left.
std::size_t sweepJournal(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return 0;
    }
    std::size_t removed = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        const std::string content = readAll(fd);
        bool left = false;
        for (std::size_t start = 0, end = 0; start < content.size(); start = end + 1) {
            end = content.find('\n', start);
            if (end == std::string::npos) {
                end = content.size();
            }
            const fs::path path = unescaped(std::string_view(content).substr(start, end - start));
            if (!isOurs(path)) {
                continue;
            }
            removeTree(path);
            std::error_code error;
            if (fs::exists(fs::symlink_status(path, error))) {
                left = true;
            } else {
                ++removed;
            }
        }
        if (!left) {
            ::unlink(file.c_str());
        }
    }
    ::close(fd);
    return removed;
}

} // namespace

void Leftovers::record(const fs::path& path) noexcept
{
    try {
        journal().append(path);
    } catch (...) {
        // Unrecorded, the item is still removed by the run that made it unless it is killed.
    }
}

std::size_t Leftovers::sweep() noexcept
{
    std::size_t removed = 0;
    try {
        std::error_code error;
        for (fs::directory_iterator it(journalFolder(), error), end; !error && it != end; it.increment(error)) {
            if (it->path().filename().string().starts_with(kJournalPrefix)) {
                removed += sweepJournal(it->path());
            }
        }
    } catch (...) {
        // Whatever is left is tried again by the next run.
    }
    return removed;
}

} // namespace tarvo::engine
