// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveEngine.h"
#include "engine/tools/ToolLocator.h"
#include "engine/tools/ToolRun.h"
#include "engine/vocabulary/ArchiveKind.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tarvo::engine {

// A tool's run under a job's control: its session, so that Cancel reaches it, and its watch.
ToolRun controlled(ToolRun run, const RunControl& control);

// Runs one tool of a compress or extract job to its end under the job's control, its progress going
// to the job as the tool's own words tell it.
void runTool(ToolRun run, const RunControl& control);

// Gives a finished result, a folder or a file with `extension`, its real name in `directory`: the
// first of "base", "base 2", ... free at the moment of the rename. Never replaces what someone else
// took meanwhile; after 100 such races it gives up with a file-system error. `durable`: the result
// is on the disk, and its name with it, before it is reported, so that a power cut right after
// cannot leave a short file under the final name.
std::filesystem::path publish(const std::filesystem::path& working, const std::filesystem::path& directory,
                              const std::string& base, std::string_view extension = {}, bool durable = true);

// The system tar, or the launch error of a missing one.
TarTool requireSystemTar();

// The archive must be there and be a regular file: a clear error instead of each tool's own words
// (a pipe would keep a tool waiting for ever, a device would be read to its end).
void checkArchive(const std::filesystem::path& archive);

// The archive's kind by its name; a name without one is no archive.
ArchiveKind requireKind(const std::filesystem::path& archive);

} // namespace tarvo::engine
