// SPDX-License-Identifier: GPL-3.0-or-later

#include "ApplicationLaunch.h"

#include <fcntl.h>
#include <spawn.h>
#include <system_error>

extern char** environ;

namespace tarvo::finder {

void launchApplication(const std::filesystem::path& application, FinderAction action,
                       const std::vector<std::string>& paths)
{
    std::vector<std::string> arguments{application.string(), "--finder", std::string(finderActionName(action))};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    // The helper exits at once, so the application is re-parented and reaped by init; its own session
    // keeps it out of the file manager's process group and terminal.
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    const int status = posix_spawn(&child, argv.front(), &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (status != 0) {
        throw std::system_error(status, std::generic_category(), "cannot start " + application.string());
    }
}

} // namespace tarvo::finder
