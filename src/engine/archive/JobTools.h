#pragma once

#include "ArchiveEngine.h"
#include "engine/tools/ToolLocator.h"
#include "engine/vocabulary/ArchiveKind.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// How a tool takes the password. On a command line any user of the machine can read it while the
// tool runs, so only a tool that has no other way (unar) gets it there.
enum class PasswordRoute : std::uint8_t
{
    argument,      // already in the arguments
    standardInput, // one line: 7-Zip, bsdtar
    terminal,      // asked once: unzip, unrar
    newOnTerminal, // asked twice, to confirm it: zip -e, rar -hp
};

// A tool run of a job: its session and watch, the password handed over by `route` and masked in the
// tool's message.
ToolRun jobRun(const std::filesystem::path& executable, std::vector<std::string> arguments,
               const std::optional<std::string>& password, PasswordRoute route, const RunControl& control);

// One tool run of a compress or extract job: the job's session and line handler, the password
// handed over by `route` and masked in the tool's message.
void runTool(const std::filesystem::path& executable, std::vector<std::string> arguments,
             const std::optional<std::filesystem::path>& folder, std::set<std::int32_t> success,
             const std::optional<std::string>& password, PasswordRoute route, const RunControl& control,
             std::optional<std::uint64_t> memoryCeiling = std::nullopt,
             std::optional<std::vector<std::string>> environment = std::nullopt);

// Gives a finished result, a folder or a file with `extension`, its real name in `directory`: the
// first of "base", "base 2", ... free at the moment of the rename. Never replaces what someone else
// took meanwhile; after 100 such races it gives up with a file-system error.
std::filesystem::path publish(const std::filesystem::path& working, const std::filesystem::path& directory,
                              const std::string& base, std::string_view extension = {});

// The system tar, or the launch error of a missing one.
TarTool requireSystemTar();

// The archive must be there and be a regular file: a clear error instead of each tool's own words
// (a pipe would keep a tool waiting for ever, a device would be read to its end).
void checkArchive(const std::filesystem::path& archive);

// The archive's kind by its name; a name without one is no archive.
ArchiveKind requireKind(const std::filesystem::path& archive);

} // namespace tarvo::engine
