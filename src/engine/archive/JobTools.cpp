#include "JobTools.h"

#include "engine/util/FileSystem.h"
#include "engine/vocabulary/NameFactory.h"

#include <system_error>

namespace tarvo::engine {

ToolRun jobRun(const std::filesystem::path& executable, std::vector<std::string> arguments,
               const std::optional<std::string>& password, PasswordRoute route, const RunControl& control)
{
    ToolRun run;
    run.executable = executable;
    run.arguments = std::move(arguments);
    run.session = control.session;
    run.watch = control.watch;
    run.redact = password.value_or(std::string());
    if (password) {
        switch (route) {
        case PasswordRoute::argument:
            break;
        case PasswordRoute::standardInput:
            run.standardInput = *password + "\n";
            break;
        case PasswordRoute::terminal:
        case PasswordRoute::newOnTerminal:
            run.terminalAnswer = *password;
            // One prompt more than the tool should need: see ToolRun.
            run.terminalPrompts = route == PasswordRoute::terminal ? 2 : 3;
            break;
        }
    }
    return run;
}

void runTool(const std::filesystem::path& executable, std::vector<std::string> arguments,
             const std::optional<std::filesystem::path>& folder, std::set<std::int32_t> success,
             const std::optional<std::string>& password, PasswordRoute route, const RunControl& control,
             std::optional<std::uint64_t> memoryCeiling, std::optional<std::vector<std::string>> environment)
{
    ToolRun run = jobRun(executable, std::move(arguments), password, route, control);
    run.memoryCeiling = memoryCeiling;
    run.environment = std::move(environment);
    run.currentDirectory = folder;
    run.successCodes = std::move(success);
    if (!control.onProgress) {
        ProcessRunner::run(run);
        return;
    }
    ProgressParser parser(ProgressParser::familyOf(executable.filename().string()));
    ProcessRunner::run(run, [&](std::string_view line) {
        const ProgressStep step = parser.read(line);
        if (step.entries > 0 || step.percent >= 0) {
            control.onProgress(step);
        }
    });
}

std::filesystem::path publish(const std::filesystem::path& working, const std::filesystem::path& directory,
                              const std::string& base, std::string_view extension)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path final = NameFactory::uniqueFile(directory, base, extension);
        if (renameNoReplace(working, final)) {
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

} // namespace tarvo::engine
