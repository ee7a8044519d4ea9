#pragma once

#include "ArchiveSession.h"

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

// One start of an external tool: always by absolute path and with the complete argument list,
// never through a shell.
struct ToolRun
{
    std::filesystem::path executable;
    std::vector<std::string> arguments;
    // Absent: the child inherits the application's working folder.
    std::optional<std::filesystem::path> currentDirectory;
    // Exit statuses that count as success; callers pass {0} or {0, 1}.
    std::set<std::int32_t> successCodes{0};
    // Written to the child's standard input, which is then closed. Absent: standard input is
    // /dev/null, so that a tool asking for a password gets end of file instead of waiting.
    std::optional<std::string> standardInput;
    // Present: the tool asks for a password on its terminal, as zip -e, unzip, rar and unrar do.
    // It gets a pseudo-terminal of its own as standard input and controlling terminal, and each
    // time it waits there with echo off the runner types this answer, at most `terminalPrompts`
    // times: a tool that asks once more is stopped, and the run ends as a wrong password. Thus the
    // password is never on a command line, where any user of the machine could read it.
    std::optional<std::string> terminalAnswer;
    int terminalPrompts = 1;
    // Present: the child's standard output goes to this new file (never an existing one) instead
    // of being read as lines.
    std::optional<std::filesystem::path> standardOutputFile;
    // Absent: the child gets toolEnvironment(), never the variables through which users configure
    // the tools (UNZIP, ZIPOPT, GZIP, TAR_OPTIONS, ...).
    std::optional<std::vector<std::string>> environment;
    // Absent: the run cannot be cancelled.
    std::shared_ptr<ArchiveSession> session;
    // Masked as "••••" wherever it appears in an error message (callers pass the password).
    std::string redact;
    // Present: called every few hundredths of a second while the tool runs. What it throws stops the
    // tool and ends the run with that error (a file system running full, say).
    std::function<void()> watch;
    // Present: the most address space the child may take, in bytes. A run that fails after using a
    // good part of it is reported as having run out of memory.
    std::optional<std::uint64_t> memoryCeiling;
};

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
