// SPDX-License-Identifier: GPL-3.0-or-later

#include "Unar.h"

#include "engine/util/TextUtil.h"

namespace tarvo::engine {

namespace {

// "  NAME  (SIZE B)... OK." for each entry unar unpacks.
ProgressStep progress(std::string_view line, std::int64_t&) noexcept
{
    return {line.ends_with("... OK.") ? 1 : 0, -1};
}

// unar prints "NAME  (6 B)... VERDICT" and "ARCHIVE: VERDICT"; lsar prints the bare verdict on
// standard error and its names inside JSON strings. Either way a name never ends the line.
bool passwordFailure(std::string_view line) noexcept
{
    if (line.empty() || (line.back() != ')' && line.back() != '.')) {
        return false;
    }
    return endsWithIgnoringCase(line, "failed! (missing or wrong password)") ||
           endsWithIgnoringCase(line, "failed! (missing or wrong password.)") ||
           endsWithIgnoringCase(line, "this archive requires a password to unpack. use the -p option to provide one.");
}

// lsar in `mode` with the password, which it takes only as an argument, then "--" and the archive.
ToolRun lsarRun(const std::filesystem::path& lsar, const char* mode, const std::filesystem::path& archive,
                const std::optional<std::string>& password)
{
    ToolRun run;
    run.executable = lsar;
    run.reading = &Unar::lsarReading;
    run.arguments = {mode};
    if (password) {
        run.arguments.insert(run.arguments.end(), {"-p", *password});
    }
    // "--": an archive whose name begins with "-" is still an archive, not a switch.
    run.arguments.insert(run.arguments.end(), {"--", archive.string()});
    run.givePassword(password);
    return run;
}

} // namespace

const OutputReading Unar::unarReading = {passwordFailure, true, progress, false, nullptr};
const OutputReading Unar::lsarReading = {passwordFailure, true, nullptr, false, nullptr};

ToolRun Unar::extract(const std::filesystem::path& unar, const ExtractCommand& command)
{
    ToolRun run;
    run.executable = unar;
    run.reading = &unarReading;
    // Without "-no-directory" unar wraps several top-level items in a folder of its own.
    run.arguments = {"-no-directory", "-force-overwrite", "-output-directory", command.destination.string()};
    if (command.password) {
        run.arguments.insert(run.arguments.end(), {"-password", *command.password});
    }
    if (!command.entries.empty()) {
        // unar reads names as wildcard patterns; the lister's numbers pick exactly the entries.
        run.arguments.push_back("-indexes");
    }
    run.arguments.insert(run.arguments.end(), {"--", command.archive.string()});
    for (std::int64_t index : command.indexes) {
        run.arguments.push_back(std::to_string(index));
    }
    // The ceiling leaves room for 7-Zip's largest dictionary (1.5 GiB) and RAR's up to 1 GiB.
    run.memoryCeiling = memoryCeiling(command.archive, 2ULL << 30);
    run.givePassword(command.password);
    return run;
}

ToolRun Unar::decompress(const std::filesystem::path& unar, const std::filesystem::path& archive)
{
    ToolRun run;
    run.executable = unar;
    run.reading = &unarReading;
    run.arguments = {"-output-directory", "-", "--", archive.string()};
    return run;
}

ToolRun Unar::test(const std::filesystem::path& lsar, const std::filesystem::path& archive,
                   const std::optional<std::string>& password)
{
    return lsarRun(lsar, "-t", archive, password);
}

ToolRun Unar::list(const std::filesystem::path& lsar, const std::filesystem::path& archive,
                   const std::optional<std::string>& password)
{
    ToolRun run = lsarRun(lsar, "-json", std::filesystem::absolute(archive), password);
    run.memoryCeiling = memoryCeiling(archive);
    return run;
}

std::optional<Unar::TestLine> Unar::readTestLine(std::string_view line)
{
    const auto dots = line.rfind("... ");
    if (dots == std::string_view::npos) {
        return std::nullopt;
    }
    return TestLine{std::string(line.substr(0, dots)), std::string(line.substr(dots + 4))};
}

bool Unar::cannotRead(const ArchiveError& failure)
{
    if (failure.errorCase() != ArchiveError::Case::toolFailed || failure.tool() != "unar") {
        return false;
    }
    const std::string& words = failure.message();
    const bool damaged = words.find("checksum") != std::string::npos || words.find("corrupt") != std::string::npos;
    const bool unread = words.find("Attempted to read more data than was available") != std::string::npos ||
                        words.find("not supported") != std::string::npos ||
                        words.find("Unknown data format") != std::string::npos ||
                        words.find("Couldn't recognize the archive format") != std::string::npos;
    return unread && !damaged;
}

} // namespace tarvo::engine
