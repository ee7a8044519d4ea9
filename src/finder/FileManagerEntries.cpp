// SPDX-License-Identifier: GPL-3.0-or-later

#include "FileManagerEntries.h"

#include "EntryTemplates.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::finder {

namespace fs = std::filesystem;

std::string execArgument(std::string_view argument, bool escapePercent)
{
    static constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string quoted;
    if (argument.find_first_of(reserved) == std::string_view::npos) {
        quoted = argument;
    } else {
        quoted = '"';
        for (char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                quoted += '\\';
            }
            quoted += c;
        }
        quoted += '"';
    }
    // The key file reads its escapes before the Exec rules apply, so those backslashes are doubled too.
    std::string value;
    for (char c : quoted) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        case '%':
            value += escapePercent ? "%%" : "%";
            break;
        default:
            value += c;
        }
    }
    return value;
}

std::vector<EntryFile> fileManagerEntries(const fs::path& helper)
{
    static constexpr std::string_view placeholder = "@TARVO_FINDER@";
    std::vector<EntryFile> entries;
    for (const EntryTemplate& entry : entryTemplates) {
        const bool nemo = std::string_view(entry.relativePath).starts_with("nemo/");
        const std::string exec = execArgument(helper.string(), !nemo);
        std::string content(entry.content);
        for (std::size_t at = content.find(placeholder); at != std::string::npos;
             at = content.find(placeholder, at + exec.size())) {
            content.replace(at, placeholder.size(), exec);
        }
        entries.push_back({entry.relativePath, std::move(content), entry.executable});
    }
    return entries;
}

namespace {

[[noreturn]] void fail(const char* what, const fs::path& path, int error = errno)
{
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

// Readers see the old file or the new one, never half of one.
void writeAtomically(const fs::path& path, std::string_view content, mode_t mode)
{
    std::string temporary = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        fail("cannot create a file beside", path);
    }
    std::size_t written = 0;
    int error = 0;
    while (written < content.size() && error == 0) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno != EINTR) {
            error = errno;
        } else if (n > 0) {
            written += static_cast<std::size_t>(n);
        }
    }
    if (error == 0 && ::fchmod(fd, mode) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        fail("cannot write", path, error);
    }
}

} // namespace

std::vector<fs::path> installForUser(const fs::path& dataHome, const fs::path& helper)
{
    std::vector<fs::path> written;
    for (const EntryFile& entry : fileManagerEntries(helper)) {
        const fs::path path = dataHome / entry.relativePath;
        fs::create_directories(path.parent_path());
        writeAtomically(path, entry.content, entry.executable ? 0755 : 0644);
        written.push_back(path);
    }
    return written;
}

} // namespace tarvo::finder
