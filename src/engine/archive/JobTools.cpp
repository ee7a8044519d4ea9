// SPDX-License-Identifier: GPL-3.0-or-later

#include "JobTools.h"

#include "engine/tools/ProcessRunner.h"
#include "engine/util/FileSystem.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/NameFactory.h"

#include <system_error>

namespace tarvo::engine {

ToolRun controlled(ToolRun run, const RunControl& control)
{
    run.session = control.session;
    run.watch = control.watch;
    run.fileSizeCeiling = control.fileSizeCeiling;
    return run;
}

void runTool(ToolRun run, const RunControl& control)
{
    run = controlled(std::move(run), control);
    if (!control.onProgress || !run.reading || !run.reading->progress) {
        ProcessRunner::run(run);
        return;
    }
    const auto progress = run.reading->progress;
    std::int64_t counted = 0;
    ProcessRunner::run(run, [&](std::string_view line) {
        const ProgressStep step = progress(line, counted);
        if (step.entries > 0 || step.percent >= 0) {
            control.onProgress(step);
        }
    });
}

std::filesystem::path publish(const std::filesystem::path& working, const std::filesystem::path& directory,
                              const std::string& base, std::string_view extension, bool durable)
{
    if (durable) {
        flushToDisk(working);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path final = NameFactory::uniqueFile(directory, base, extension);
        if (renameNoReplace(working, final)) {
            if (durable) {
                flushFolder(directory);
            }
            return final;
        }
    }
    const std::string name = extension.empty() ? base : base + "." + std::string(extension);
    throw std::filesystem::filesystem_error("cannot name the result", directory / name,
                                            std::make_error_code(std::errc::file_exists));
}

TarTool requireSystemTar()
{
    const auto tar = ToolLocator::systemTar();
    if (!tar) {
        throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory), "cannot start tar");
    }
    return *tar;
}

void checkArchive(const std::filesystem::path& archive)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(archive, error);
    if (!std::filesystem::exists(status)) {
        throw std::filesystem::filesystem_error("cannot open the archive", archive,
                                                error ? error
                                                      : std::make_error_code(std::errc::no_such_file_or_directory));
    }
    // A folder, a pipe, a socket or a device: no tool is handed it. A pipe would keep a tool, or
    // Tarvo, waiting for ever; a device would be read to its end.
    if (!std::filesystem::is_regular_file(status)) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
}

ArchiveKind requireKind(const std::filesystem::path& archive)
{
    const auto kind = ArchiveKind::from(archive);
    if (!kind) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    return *kind;
}

} // namespace tarvo::engine
