// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ToolCommands.h"
#include "engine/tools/ToolRun.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tarvo::engine {

// RARLAB's rar and unrar. Both ask for a password on their terminal, rar twice; both read "*" and
// "?" in names as wildcards and a name beginning with "@" as a list file, with no way to quote them.
class Rarlab
{
public:
    // Packs what `command.names` names, and with "-r" every file of such a name in any folder
    // below: run it in a folder that holds only the chosen items.
    static ToolRun create(const std::filesystem::path& rar, const CreateCommand& command);
    static ToolRun extract(const std::filesystem::path& unrar, const ExtractCommand& command);
    // "d" and "rn" on `command.archive`. rar reads "*" and "?" in the names as wildcards.
    static ToolRun remove(const std::filesystem::path& rar, const EditCommand& command);
    static ToolRun rename(const std::filesystem::path& rar, const EditCommand& command);

    // Whether unrar would read the archive's name or the entry's as a wildcard or a list file.
    static bool cannotQuote(const std::filesystem::path& archive, const std::optional<std::string>& entry);

    static const OutputReading reading;
};

} // namespace tarvo::engine
