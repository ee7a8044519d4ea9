// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveSession.h"
#include "ProgressStep.h"

#include <chrono>
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

// How a tool's lines read: the words of one tool, given by its home in adapters/. Each function
// runs on every line the tool prints, so none of them allocates.
struct OutputReading
{
    // The tool says on this trimmed line that a password was wrong or missing. Lines also carry
    // names an archive chooses ("adding: wrong password.txt"): each tool's rule matches its own
    // message where it prints it, never a name. Null: the tool has no such words.
    bool (*passwordFailure)(std::string_view line) noexcept = nullptr;
    // The tool prints those words beside an entry's name (unar, lsar): they count only when the
    // tool failed, which no name can bring about.
    bool passwordWordsNeedFailure = false;
    // The advance a line tells; `counted` is the run's own, for a tool that reports a running count.
    ProgressStep (*progress)(std::string_view line, std::int64_t& counted) noexcept = nullptr;
    // The tool redraws its progress on standard output after backspaces (7-Zip).
    bool redrawsProgress = false;
    // A line that says nothing but that an entry was handled (bsdtar's "x NAME"): it is progress,
    // never part of a message.
    bool (*onlyNamesEntry)(std::string_view line) noexcept = nullptr;
};

// How a tool takes a password. On a command line any user of the machine can read it while the
// tool runs, so only a tool that has no other way (unar, lsar) gets it there.
enum class PasswordRoute : std::uint8_t
{
    argument,      // already in the arguments
    standardInput, // one line: 7-Zip, bsdtar
    terminal,      // asked once: unzip, unrar
    newOnTerminal, // asked twice, to confirm it: zip -e, rar -hp
};

// One start of an external tool: always by absolute path and with the complete argument list,
// never through a shell. A tool's home in adapters/ makes it, with the tool's reading and password
// route, so that the run knows which tool it is from the start.
struct ToolRun
{
    std::filesystem::path executable;
    std::vector<std::string> arguments;
    // The tool's words for progress and password failures. Null: its lines are only handed on.
    const OutputReading* reading = nullptr;
    // How the tool takes a password, when givePassword hands it one.
    PasswordRoute passwordRoute = PasswordRoute::argument;
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
    // Absent: the child gets ProcessRunner::toolEnvironment(), never the variables through which
    // users configure the tools (UNZIP, ZIPOPT, GZIP, TAR_OPTIONS, ...).
    std::optional<std::vector<std::string>> environment;
    // Absent: the run cannot be cancelled.
    std::shared_ptr<ArchiveSession> session;
    // Masked as "••••" wherever it appears in an error message (callers pass the password).
    std::string redact;
    // Present: called while the tool runs, at first after a few hundredths of a second and then as
    // soon as it asks (its answer: when to look again). What it throws stops the tool and ends the
    // run with that error (a file system running full, say).
    std::function<std::chrono::milliseconds()> watch;
    // Present: the most address space the child may take, in bytes. A run that fails after using a
    // good part of it is reported as having run out of memory.
    std::optional<std::uint64_t> memoryCeiling;
    // Present: the largest file the child may write, in bytes; a larger write fails, and the tool
    // ends by SIGXFSZ unless it handles it.
    std::optional<std::uint64_t> fileSizeCeiling;

    // Hands the password over by the tool's route and masks it in messages; none changes nothing.
    // For the argument route the tool's home has put it among the arguments already.
    void givePassword(const std::optional<std::string>& password);
};

// The most memory a tool may take for this archive: `base` (a gigabyte for a lister), and room for
// archives of millions of entries (lsar needs about 15 times the size of such a ZIP).
std::uint64_t memoryCeiling(const std::filesystem::path& archive, std::uint64_t base = 1ULL << 30);

} // namespace tarvo::engine
