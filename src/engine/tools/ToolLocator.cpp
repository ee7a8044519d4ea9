// SPDX-License-Identifier: GPL-3.0-or-later

#include "ToolLocator.h"

#include "ProcessRunner.h"
#include "engine/util/AppPaths.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace tarvo::engine {

namespace {

constexpr const char* kHomebrewBin = "/home/linuxbrew/.linuxbrew/bin/";

bool isUnrarFree(const std::filesystem::path& path)
{
    std::error_code error;
    const auto resolved = std::filesystem::canonical(path, error);
    return !error && resolved.filename() == "unrar-free";
}

bool ownedByRootOrUs(const struct stat& info)
{
    return info.st_uid == 0 || info.st_uid == ::geteuid();
}

// Nobody but root and this user can change the tool: the file, after links, and its folder belong
// to one of them and no one else may write to them, and no folder above can be swapped by anyone
// else (a shared folder with the sticky bit, such as /tmp, keeps its entries to their owners).
bool trusted(const std::filesystem::path& path)
{
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    if (error) {
        return false;
    }
    std::filesystem::path item = real;
    for (int depth = 0;; ++depth) {
        struct stat info
        {};
        if (::stat(item.c_str(), &info) != 0 || !ownedByRootOrUs(info)) {
            return false;
        }
        const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        if (othersWrite && (depth < 2 || (info.st_mode & S_ISVTX) == 0)) {
            return false;
        }
        if (item == item.parent_path()) {
            return true;
        }
        item = item.parent_path();
    }
}

bool acceptable(std::string_view name, const std::filesystem::path& path)
{
    if (!ToolLocator::isExecutableFile(path) || !trusted(path)) {
        return false;
    }
    return name != "unrar" || !isUnrarFree(path);
}

} // namespace

bool ToolLocator::isExecutableFile(const std::filesystem::path& path)
{
    struct stat info
    {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::vector<std::filesystem::path> ToolLocator::searchFolders()
{
    return {AppPaths::toolDirectory(), "/usr/local/bin/", "/usr/bin/", "/bin/", kHomebrewBin};
}

std::optional<std::filesystem::path> ToolLocator::executable(std::string_view name)
{
    for (const auto& folder : searchFolders()) {
        const auto candidate = folder / name;
        if (acceptable(name, candidate)) {
            return candidate;
        }
    }
    auto found = which(name);
    if (found && !acceptable(name, *found)) {
        return std::nullopt;
    }
    return found;
}

std::optional<std::filesystem::path> ToolLocator::which(std::string_view name)
{
    const char* path = std::getenv("PATH");
    const std::string searchPath =
        path != nullptr ? std::string("/home/linuxbrew/.linuxbrew/bin:/usr/local/bin:") + path : "/usr/bin:/bin";

    std::vector<std::string> environment = ProcessRunner::toolEnvironment();
    std::erase_if(environment, [](const std::string& variable) { return variable.starts_with("PATH="); });
    environment.push_back("PATH=" + searchPath);

    ToolRun run;
    run.executable = "/usr/bin/which";
    run.arguments = {std::string(name)};
    run.environment = std::move(environment);
    try {
        const std::string found = ProcessRunner::capture(run);
        // A relative answer (PATH holding "." or an empty entry) would name a file in whatever folder
        // the tool is later started in, such as the folder being packed.
        if (found.empty() || found.front() != '/' || found.find('\n') != std::string::npos ||
            !isExecutableFile(found)) {
            return std::nullopt;
        }
        return std::filesystem::path(found);
    } catch (const std::exception&) {
        // which missing, failing or finding nothing: the tool is simply absent.
        return std::nullopt;
    }
}

RarSupport ToolLocator::rarSupport()
{
    RarSupport tools;
    tools.creator = executable("rar");
    tools.extractor = executable("unrar");
    if (!tools.extractor) {
        tools.extractor = executable("unar");
    }
    tools.brew = executable("brew");
    tools.lister = executable("lsar");
    tools.sevenZip = executable("7zz");
    if (!tools.sevenZip) {
        tools.sevenZip = executable("7z");
    }
    tools.unar = executable("unar");
    tools.entryLister = entryLister();
    return tools;
}

std::optional<std::filesystem::path> ToolLocator::entryLister()
{
    constexpr std::string_view kName = "tarvo-lister";
    if (const char* chosen = std::getenv("TARVO_LISTER")) {
        return isExecutableFile(chosen) ? std::optional<std::filesystem::path>(chosen) : std::nullopt;
    }
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    std::vector<std::filesystem::path> candidates;
    if (!error) {
        candidates.push_back(program.parent_path() / kName);
        candidates.push_back(program.parent_path().parent_path() / "libexec" / "tarvo" / kName);
    }
    candidates.emplace_back(TARVO_INSTALLED_LISTER);
    for (const auto& candidate : candidates) {
        if (isExecutableFile(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<TarTool> ToolLocator::systemTar()
{
    // tar runs it from a command string it splits at spaces: only these folders, which have none.
    std::optional<std::filesystem::path> pigz;
    for (const char* candidate : {"/usr/bin/pigz", "/bin/pigz", "/usr/local/bin/pigz"}) {
        if (isExecutableFile(candidate)) {
            pigz = candidate;
            break;
        }
    }
    for (const char* candidate : {"/usr/bin/bsdtar", "/bin/bsdtar", "/usr/local/bin/bsdtar"}) {
        if (isExecutableFile(candidate)) {
            return TarTool{candidate, true, pigz};
        }
    }
    for (const char* candidate : {"/usr/bin/tar", "/bin/tar"}) {
        if (isExecutableFile(candidate)) {
            return TarTool{candidate, false, pigz};
        }
    }
    return std::nullopt;
}

} // namespace tarvo::engine
