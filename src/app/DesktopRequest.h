// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarvo::app {

// What the arguments of a desktop launch ask for.
struct DesktopRequest
{
    enum class Kind
    {
        // Just the window.
        none,
        // "--finder ACTION PATH...": the desktop file's actions and the file-manager helper.
        finder,
        // "PATH...": files opened with Tarvo, as if dropped on the window.
        open,
    };

    Kind kind = Kind::none;
    std::string action;
    // Absolute, against the working folder of the process that was started.
    std::vector<std::string> paths;

    // "--finder" counts wherever it stands; with nothing after it, it asks for nothing.
    static DesktopRequest parse(const std::vector<std::string>& arguments, const std::filesystem::path& workingFolder);
    // Whether the arguments start the desktop application rather than the command line: none,
    // "--finder", or files.
    static bool isDesktopLaunch(const std::vector<std::string>& arguments);
};

} // namespace tarvo::app
