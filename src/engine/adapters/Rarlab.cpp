// SPDX-License-Identifier: GPL-3.0-or-later

#include "Rarlab.h"

#include "engine/util/TextUtil.h"
#include "engine/vocabulary/Housekeeping.h"

namespace tarvo::engine {

namespace {

// "Adding    NAME    OK", "Extracting  NAME    OK", each naming one handled entry.
ProgressStep progress(std::string_view line, std::int64_t&) noexcept
{
    static constexpr CaseFoldedPrefix adding("adding ");
    static constexpr CaseFoldedPrefix extracting("extracting ");
    return {adding.matches(line) || extracting.matches(line) ? 1 : 0, -1};
}

// "The specified password is incorrect.", "Incorrect password for NAME", "Checksum error in the
// encrypted file NAME. Corrupt file or wrong password.". Its name lines begin with "Extracting",
// "Creating" or "Adding".
bool passwordFailure(std::string_view line) noexcept
{
    if (line.empty()) {
        return false;
    }
    static constexpr CaseFoldedPrefix incorrect("incorrect passwo");
    // This runs for every line: only one of its messages may end otherwise than with a full stop.
    if (line.back() != '.') {
        return incorrect.matches(line) && startsWithIgnoringCase(line, "incorrect password for ");
    }
    if (equalsIgnoringCaseText(line, "the specified password is incorrect.") ||
        startsWithIgnoringCase(line, "incorrect password for ")) {
        return true;
    }
    return (startsWithIgnoringCase(line, "checksum error in the encrypted file ") ||
            startsWithIgnoringCase(line, "crc failed in the encrypted file ")) &&
           endsWithIgnoringCase(line, ". corrupt file or wrong password.");
}

// Both tools count 1, a warning, as success.
ToolRun rarlabRun(const std::filesystem::path& tool, PasswordRoute route)
{
    ToolRun run;
    run.executable = tool;
    run.reading = &Rarlab::reading;
    run.passwordRoute = route;
    run.successCodes = {0, 1};
    return run;
}

} // namespace

const OutputReading Rarlab::reading = {passwordFailure, false, progress, false, nullptr};

ToolRun Rarlab::create(const std::filesystem::path& rar, const CreateCommand& command)
{
    ToolRun run = rarlabRun(rar, PasswordRoute::newOnTerminal);
    // "-ol" stores links as links, as zip -y and tar do, instead of what they point to.
    run.arguments = {"a", "-r", "-y", "-ol", std::string(command.level.rarSwitch())};
    if (command.password) {
        run.arguments.push_back("-hp"); // asks for the password on the terminal, twice
    }
    if (command.skipJunk) {
        for (const HousekeepingItem& item : kHousekeeping) {
            // A file of that name in any folder; a folder by its name.
            run.arguments.push_back((item.isFolder ? "-x" : "-x*") + std::string(item.name));
        }
    }
    return finishedCreation(std::move(run), command);
}

namespace {

ToolRun rarEdit(const std::filesystem::path& rar, std::string_view operation, const EditCommand& command)
{
    ToolRun run = rarlabRun(rar, PasswordRoute::terminal);
    run.arguments = {std::string(operation), "-y", command.password ? "-p" : "-p-", "--", command.archive.string()};
    run.arguments.insert(run.arguments.end(), command.names.begin(), command.names.end());
    run.givePassword(command.password);
    return run;
}

} // namespace

ToolRun Rarlab::remove(const std::filesystem::path& rar, const EditCommand& command)
{
    return rarEdit(rar, "d", command);
}

ToolRun Rarlab::rename(const std::filesystem::path& rar, const EditCommand& command)
{
    return rarEdit(rar, "rn", command);
}

ToolRun Rarlab::extract(const std::filesystem::path& unrar, const ExtractCommand& command)
{
    ToolRun run = rarlabRun(unrar, PasswordRoute::terminal);
    std::string target = command.destination.string();
    if (!target.ends_with('/')) {
        target += '/';
    }
    // A bare "-p" has unrar ask for the password on its terminal; "-p-" keeps it from asking for
    // one it cannot get.
    run.arguments = {"x", "-y", "-o+", command.password ? "-p" : "-p-", "--", command.archive.string()};
    for (const ChosenEntry& chosen : command.entries) {
        run.arguments.push_back(chosen.isDirectory ? chosen.name + "/*" : chosen.name);
    }
    run.arguments.push_back(target);
    run.givePassword(command.password);
    return run;
}

bool Rarlab::cannotQuote(const std::filesystem::path& archive, const std::optional<std::string>& entry)
{
    const auto wild = [](const std::string& name) { return name.find_first_of("*?") != std::string::npos; };
    return wild(archive.filename().string()) || (entry && (wild(*entry) || entry->starts_with('@')));
}

} // namespace tarvo::engine
