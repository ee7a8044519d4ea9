// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/tools/ToolRun.h"
#include "engine/vocabulary/CompressionLevel.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::engine {

// What a command line that creates an archive says, whichever tool's.
struct CreateCommand
{
    // The file the tool writes.
    std::filesystem::path archive;
    // What it packs, named from the folder it runs in. Never read as options or as patterns.
    std::vector<std::string> names;
    CompressionLevel level = CompressionLevel::normal;
    // Handed over by the tool's own route; none: the archive is not protected.
    std::optional<std::string> password;
    // The housekeeping items are left out.
    bool skipJunk = true;
    // Above zero: the archive is cut into parts of at most this many bytes.
    std::uint64_t volumeSize = 0;
};

// What a command line that changes an existing archive in place says, whichever tool's.
struct EditCommand
{
    // The archive the tool changes: a working copy, never the user's file.
    std::filesystem::path archive;
    // remove: the entries to take out, as the archive stores them, each named with everything below
    // it; rename: the old and the new name of each entry, in pairs.
    std::vector<std::string> names;
    std::optional<std::string> password;
};

// An entry to take out, named as the archive stores it; a folder comes with everything below it.
struct ChosenEntry
{
    std::string name;
    bool isDirectory = false;
};

// What a command line that unpacks says, whichever tool's.
struct ExtractCommand
{
    std::filesystem::path archive;
    // The folder the tool writes into.
    std::filesystem::path destination;
    // The entries to take; none: everything.
    std::vector<ChosenEntry> entries;
    // unar's numbers of the entries and of everything below them, from lsar's listing.
    std::vector<std::int64_t> indexes;
    std::optional<std::string> password;
};

// How 7-Zip's and RARLAB's creation lines end: the archive, "--" and the names, which the tool then
// reads as names only; and the password, handed over by the tool's route.
inline ToolRun finishedCreation(ToolRun run, const CreateCommand& command)
{
    if (command.volumeSize > 0) {
        run.arguments.push_back("-v" + std::to_string(command.volumeSize) + "b");
    }
    run.arguments.push_back(command.archive.string());
    run.arguments.push_back("--");
    run.arguments.insert(run.arguments.end(), command.names.begin(), command.names.end());
    run.givePassword(command.password);
    return run;
}

} // namespace tarvo::engine
