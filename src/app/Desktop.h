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
    // Whether the arguments start the desktop application rather than the command line.
    static bool isDesktopLaunch(const std::vector<std::string>& arguments);
};

// The desktop application: the windows over the one model, the tray icon, and the requests of other
// processes. When Tarvo already runs, the request goes to that process and this one ends with 0.
// Returns the process's exit status; without a display it says so in one line and returns 1.
int runDesktop(int argc, char** argv);

} // namespace tarvo::app
