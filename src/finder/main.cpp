// SPDX-License-Identifier: GPL-3.0-or-later

// tarvo-finder compress|extract|test PATH...: what the file managers' menu entries run. It hands the
// selection to the running Tarvo over the session bus, or starts Tarvo with it.
#include "ApplicationLaunch.h"
#include "FinderRules.h"
#include "RequestSignal.h"
#include "engine/util/RunStart.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tarvo::finder;

int main(int argc, char** argv)
{
    // A file manager waits for nothing, but a helper stuck on a broken bus must not linger either.
    alarm(10);
    tarvo::engine::beginRun(tarvo::engine::RunKind::commandLine);
    const std::optional<FinderAction> action = argc > 1 ? parseFinderAction(argv[1]) : std::nullopt;
    if (!action) {
        std::fputs("usage: tarvo-finder compress|extract|test PATH...\n", stderr);
        return 2;
    }
    std::error_code error;
    const fs::path currentDirectory = fs::current_path(error);
    const std::vector<std::string> paths =
        forwardedPaths(*action, absolutePaths(std::vector<std::string>(argv + 2, argv + argc), currentDirectory));
    if (paths.empty()) {
        return 0;
    }
    // Without a current directory (it was removed) relative arguments name nothing certain.
    if (std::any_of(paths.begin(), paths.end(), [](const std::string& path) { return path.front() != '/'; })) {
        std::fprintf(stderr, "tarvo-finder: cannot resolve relative paths: %s\n", error.message().c_str());
        return 1;
    }

    if (fitsInSignal(paths) && sendRequestSignal(*action, paths)) {
        return 0;
    }

    const fs::path helperDirectory = fs::read_symlink("/proc/self/exe", error).parent_path();
    const char* searchPath = std::getenv("PATH");
    const std::optional<fs::path> tarvo =
        locateApplication(helperDirectory, searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin", currentDirectory);
    if (!tarvo) {
        std::fputs("tarvo-finder: cannot find the tarvo executable\n", stderr);
        return 1;
    }
    try {
        launchApplication(*tarvo, *action, paths);
    } catch (const std::system_error& failure) {
        std::fprintf(stderr, "tarvo-finder: %s\n", failure.what());
        return 1;
    }
    return 0;
}
