// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ToolRun.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// Starts, feeds, watches and judges the external tools. Blocking; safe to call from any thread.
//
// Outcomes: success; ArchiveError cancelled, wrongPassword or toolFailed; or std::system_error
// when the tool cannot be started at all.
class ProcessRunner
{
public:
    using LineHandler = std::function<void(std::string_view line)>;

    static constexpr std::string_view kMask = "\u2022\u2022\u2022\u2022";

    // The application's PATH, HOME, TMPDIR, TZ and locale variables, and nothing else.
    static std::vector<std::string> toolEnvironment();

    // Runs the tool for its effects. Every non-empty output line of standard output and standard
    // error is handed to `onLine` as it arrives (always on the calling thread, one at a time).
    static void run(const ToolRun& tool, const LineHandler& onLine = {});

    // Runs the tool and returns its standard output: the trimmed non-empty lines joined with "\n".
    static std::string capture(const ToolRun& tool);

    struct Captured
    {
        std::string output;  // as capture() returns it
        std::int32_t status; // the exit status, or the signal that ended the tool
        bool signalled;
        std::string message; // standard error's last lines, password masked
        bool outOfMemory;    // the tool failed near its memory ceiling
    };
    // capture() for callers that read the output whatever the exit status: only a cancel, a
    // password failure or a launch error is thrown. With `onOutputLine`, standard output's lines go
    // to it as they arrive instead of into `output`, so that a caller can read a long listing while
    // the tool is still writing it.
    static Captured captureWithStatus(const ToolRun& tool, const LineHandler& onOutputLine = {});
};

} // namespace tarvo::engine
