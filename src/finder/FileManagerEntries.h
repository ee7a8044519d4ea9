// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The menu entries through which Dolphin and Nemo run tarvo-finder. `cmake --install` installs the same
// files for the whole system; the application writes them for one user. No Qt.
namespace tarvo::finder {

struct EntryFile
{
    // Under a data folder ("share" or $XDG_DATA_HOME): "kio/servicemenus/com.tarvo.compress.desktop".
    std::filesystem::path relativePath;
    std::string content;
    // Dolphin ignores service menus that are not executable.
    bool executable = false;
};

// The Dolphin service menus and Nemo actions, calling `helper` (an absolute path).
std::vector<EntryFile> fileManagerEntries(const std::filesystem::path& helper);

// Writes the entries under `dataHome`, each atomically (a temporary file renamed over the old one),
// creating the folders. Returns the paths written; throws std::filesystem::filesystem_error.
std::vector<std::filesystem::path> installForUser(const std::filesystem::path& dataHome,
                                                  const std::filesystem::path& helper);

// `argument` as one argument of an Exec= value, quoted by the freedesktop rules for desktop files, with the
// key file's own escapes applied. Nemo parses its Exec the same way, except that it knows no "%%".
std::string execArgument(std::string_view argument, bool escapePercent = true);

} // namespace tarvo::finder
