// SPDX-License-Identifier: GPL-3.0-or-later

#include "FinderRules.h"

#include "FinderTexts.h"
#include "engine/l10n/AppLanguage.h"
#include "engine/util/TextUtil.h"

#include <unistd.h>

namespace tarvo::finder {

namespace fs = std::filesystem;

std::optional<FinderAction> parseFinderAction(std::string_view word)
{
    if (word == "compress") {
        return FinderAction::compress;
    }
    if (word == "extract") {
        return FinderAction::extract;
    }
    if (word == "test") {
        return FinderAction::test;
    }
    return std::nullopt;
}

std::string_view finderActionName(FinderAction action)
{
    switch (action) {
    case FinderAction::compress:
        break;
    case FinderAction::extract:
        return "extract";
    case FinderAction::test:
        return "test";
    }
    return "compress";
}

bool isFinderArchive(std::string_view path)
{
    const std::string_view name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    // A leading dot starts a hidden name, not an extension.
    if (dot == std::string_view::npos || dot == 0) {
        return false;
    }
    const std::string_view extension = name.substr(dot + 1);
    return engine::equalsIgnoringCaseText(extension, "zip") || engine::equalsIgnoringCaseText(extension, "rar") ||
           engine::equalsIgnoringCaseText(extension, "7z");
}

namespace {

int hexValue(char digit)
{
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

// The local path of a "file://" URI ("file:///a%20b", "file://localhost/a"); nothing for another host
// or a malformed one.
std::optional<std::string> localPath(std::string_view uri)
{
    uri.remove_prefix(std::string_view("file://").size());
    if (uri.starts_with("localhost/")) {
        uri.remove_prefix(std::string_view("localhost").size());
    }
    if (!uri.starts_with('/')) {
        return std::nullopt;
    }
    std::string path;
    for (std::size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] != '%') {
            path.push_back(uri[i]);
            continue;
        }
        const int high = i + 2 < uri.size() ? hexValue(uri[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(uri[i + 2]) : -1;
        if (low < 0 || (high == 0 && low == 0)) {
            return std::nullopt;
        }
        path.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return path;
}

} // namespace

std::vector<std::string> absolutePaths(const std::vector<std::string>& arguments, const fs::path& currentDirectory)
{
    std::vector<std::string> paths;
    paths.reserve(arguments.size());
    for (const std::string& argument : arguments) {
        if (argument.empty()) {
            continue;
        }
        if (argument.front() == '/') {
            paths.push_back(argument);
            continue;
        }
        // Nemo hands over URIs; other schemes (sftp://, smb://) name nothing on this machine.
        if (argument.starts_with("file://")) {
            if (std::optional<std::string> path = localPath(argument)) {
                paths.push_back(std::move(*path));
            }
            continue;
        }
        if (argument.find("://") != std::string::npos) {
            continue;
        }
        // "./a", "dir/" and ".." from a terminal: the application names its results after the last
        // component, so it gets one.
        std::string path = (currentDirectory / argument).lexically_normal().string();
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        paths.push_back(std::move(path));
    }
    return paths;
}

std::vector<std::string> forwardedPaths(FinderAction action, std::vector<std::string> paths)
{
    if (action != FinderAction::compress) {
        std::erase_if(paths, [](const std::string& path) { return !isFinderArchive(path); });
    }
    return paths;
}

bool fitsInSignal(const std::vector<std::string>& paths)
{
    std::size_t bytes = paths.empty() ? 0 : paths.size() - 1;
    for (const std::string& path : paths) {
        bytes += path.size();
        if (bytes > maxSignalBytes || !engine::isValidUtf8(path)) {
            return false;
        }
    }
    return true;
}

std::string_view menuTitle(FinderAction action, const std::vector<std::string>& preferredLanguages)
{
    const std::string_view language = engine::AppLanguage::matching(preferredLanguages).rawValue();
    const TarvoFinderTitles* titles = &tarvo_finder_titles[0];
    for (const TarvoFinderTitles& row : tarvo_finder_titles) {
        if (std::string_view(row.locale).starts_with(language)) {
            titles = &row;
            break;
        }
    }
    switch (action) {
    case FinderAction::compress:
        break;
    case FinderAction::extract:
        return titles->extract;
    case FinderAction::test:
        return titles->test;
    }
    return titles->compress;
}

std::string_view menuTitleForEnvironment(FinderAction action)
{
    return menuTitle(action, engine::AppLanguage::preferredFromEnvironment());
}

namespace {

bool isExecutableFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

std::optional<fs::path> locateApplication(const fs::path& helperDirectory, std::string_view searchPath,
                                          const fs::path& currentDirectory)
{
    if (!helperDirectory.empty() && isExecutableFile(helperDirectory / "tarvo")) {
        return helperDirectory / "tarvo";
    }
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        const std::size_t end = std::min(searchPath.find(':', start), searchPath.size());
        // An empty entry means the current directory, as for the shell.
        const fs::path directory(searchPath.substr(start, end - start));
        const fs::path candidate = currentDirectory / directory / "tarvo";
        if (isExecutableFile(candidate)) {
            return candidate.lexically_normal();
        }
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace tarvo::finder
