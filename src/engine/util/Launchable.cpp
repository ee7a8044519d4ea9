// SPDX-License-Identifier: GPL-3.0-or-later

#include "Launchable.h"

#include "TextUtil.h"

#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace tarvo::engine {

namespace {

// What a desktop runs, or hands to a program that runs it, rather than shows.
constexpr std::string_view kRunnable[] = {
    ".desktop",  ".sh",  ".bash", ".zsh", ".csh", ".ksh", ".fish", ".command", ".run",        ".bin",  ".out",
    ".appimage", ".exe", ".com",  ".bat", ".cmd", ".msi", ".msp",  ".scr",     ".pif",        ".lnk",  ".ps1",
    ".psm1",     ".vbs", ".vbe",  ".js",  ".jse", ".wsf", ".wsh",  ".hta",     ".jar",        ".jnlp", ".py",
    ".pyw",      ".pl",  ".rb",   ".php", ".deb", ".rpm", ".snap", ".flatpak", ".flatpakref", ".apk",  ".so",
};

} // namespace

bool couldRunProgram(const std::filesystem::path& file)
{
    const std::string name = asciiLower(file.filename().string());
    for (const std::string_view extension : kRunnable) {
        if (name.size() > extension.size() && name.ends_with(extension)) {
            return true;
        }
    }
    char head[64] = {};
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) {
        return true; // what cannot be looked at is not opened
    }
    const ssize_t got = ::read(descriptor, head, sizeof head);
    ::close(descriptor);
    std::string_view start(head, got > 0 ? static_cast<std::size_t>(got) : 0);
    if (start.starts_with("\xEF\xBB\xBF")) {
        start.remove_prefix(3);
    }
    const std::string_view trimmedStart = trimmed(start);
    return start.starts_with("\x7F"
                             "ELF") ||
           start.starts_with("MZ") || start.starts_with("#!") || start.starts_with("\xCF\xFA\xED\xFE") ||
           start.starts_with("\xCE\xFA\xED\xFE") || start.starts_with("\xCA\xFE\xBA\xBE") ||
           trimmedStart.starts_with("[Desktop Entry]");
}

} // namespace tarvo::engine
