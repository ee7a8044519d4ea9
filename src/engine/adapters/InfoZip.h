// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ToolCommands.h"
#include "engine/tools/ToolRun.h"
#include "engine/vocabulary/ArchiveError.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// Info-ZIP's zip and unzip, the system's own ZIP tools: everything Tarvo knows of them. Both ask
// for a password on their terminal, zip twice; unzip reads wildcards in every name it is given.
class InfoZip
{
public:
    static constexpr std::string_view kZip = "/usr/bin/zip";
    static constexpr std::string_view kUnzip = "/usr/bin/unzip";

    // Packs into `command.archive`, writing its temporary file in `scratch`.
    static ToolRun create(const CreateCommand& command, const std::filesystem::path& scratch);
    static ToolRun extract(const ExtractCommand& command);
    // Takes the named entries out of `command.archive`, each by its exact name (a folder's members
    // are named one by one); the temporary file goes into `scratch`.
    static ToolRun remove(const EditCommand& command, const std::filesystem::path& scratch);
    // zipnote's lines that rename the pairs of `command.names`, given on its standard input; none
    // when a name holds a line break, which they cannot carry.
    static std::optional<ToolRun> rename(const EditCommand& command);
    static constexpr std::string_view kZipNote = "/usr/bin/zipnote";
    // Reads every member through ("unzip -t").
    static ToolRun test(const std::filesystem::path& archive, const std::optional<std::string>& password);

    // "zip error: Nothing to do!": every item was left out or vanished.
    static bool foundNothingToDo(const ArchiveError& failure);
    // unzip's status for a member packed with a method (or an encryption) it lacks; it extracts the
    // others. Its words about it may be far back in a long output, so the status alone decides.
    static bool lacksMethod(const ArchiveError& failure);
    // What follows "testing: " on each line of `unzip -t` whose member is not sound: the member's
    // name as unzip prints it, padded, then its verdict.
    static std::vector<std::string> failedTests(const std::vector<std::string>& lines);

    // unzip's pattern that matches exactly this name.
    static std::string literal(std::string_view name);

    // Whether zip and unzip take this password on their terminal: a longer line they refuse ("line
    // too long--try again") and ask again, as after a wrong password.
    static bool takesPassword(std::string_view password) noexcept { return password.size() <= 80; }

    static const OutputReading zipReading;
    static const OutputReading unzipReading;
};

} // namespace tarvo::engine
