// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tarvo::app {

// The headless front end: `tarvo compress|extract|list ...`. Runs the same engine as the window,
// needs no display and records nothing in the history.
class CommandLine
{
public:
    // Whether the arguments ask for the command line rather than the window.
    static bool handles(const std::vector<std::string>& arguments);

    // The process exit status: 0 success, 1 a job failed, 2 wrong usage, 130 interrupted by
    // SIGINT or SIGTERM (after the running tool was stopped and its partial output removed).
    static int run(const std::vector<std::string>& arguments, std::istream& input, std::ostream& output,
                   std::ostream& errors);

    static void printUsage(std::ostream& stream);
};

} // namespace tarvo::app
