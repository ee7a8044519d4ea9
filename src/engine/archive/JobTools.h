#pragma once

#include "ArchiveEngine.h"
#include "tools/ToolLocator.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tarvo::engine {

// One tool run of a compress or extract job: the job's session and line handler, the password
// masked in the tool's message.
void runTool(const std::filesystem::path& executable, std::vector<std::string> arguments,
             const std::optional<std::filesystem::path>& folder, std::set<std::int32_t> success,
             const std::optional<std::string>& password, const RunControl& control,
             std::optional<std::uint64_t> memoryCeiling = std::nullopt);

// The system tar, or the launch error of a missing one.
TarTool requireSystemTar();

} // namespace tarvo::engine
