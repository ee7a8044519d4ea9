// SPDX-License-Identifier: GPL-3.0-or-later

#include "InfoZip.h"

#include "engine/util/TextUtil.h"

namespace tarvo::engine {

namespace {

// The housekeeping items in zip's syntax: it matches patterns against whole stored paths, "*"
// crossing "/", so a folder needs its members named too (".AppleDouble/*").
constexpr std::string_view kJunkGlobs[] = {
    "*.DS_Store", "*__MACOSX*", "*.AppleDouble", "*.AppleDouble/*", "*.Spotlight-V100*", "*.Trashes*", "*.fseventsd*",
};

// "adding:", "updating:", "inflating:", "extracting:", "creating:", each naming one handled entry;
// letter case ignored. Called for every output line: the first letter picks the prefixes to compare.
ProgressStep progress(std::string_view line, std::int64_t&) noexcept
{
    if (line.empty()) {
        return {};
    }
    static constexpr CaseFoldedPrefix adding("adding:");
    static constexpr CaseFoldedPrefix updating("updating:");
    static constexpr CaseFoldedPrefix inflating("inflating:");
    static constexpr CaseFoldedPrefix extracting("extracting:");
    static constexpr CaseFoldedPrefix creating("creating:");
    bool counts = false;
    switch (line.front() | 0x20) {
    case 'a':
        counts = adding.matches(line);
        break;
    case 'u':
        counts = updating.matches(line);
        break;
    case 'i':
        counts = inflating.matches(line);
        break;
    case 'e':
        counts = extracting.matches(line);
        break;
    case 'c':
        counts = creating.matches(line);
        break;
    default:
        break;
    }
    return {counts ? 1 : 0, -1};
}

// "skipping: NAME  incorrect password", "skipping: NAME  unable to get password": the verdict
// follows the name, and every other line names a file last or says something else.
bool passwordFailure(std::string_view line) noexcept
{
    // Every one of its messages ends with "password" or ")": most lines are passed over at once.
    if (line.empty() || (asciiLowerChar(line.back()) != 'd' && line.back() != ')')) {
        return false;
    }
    // A wrong password passes unzip's one-byte check once in 256 times; the data's checksum then
    // fails, and unzip says on a line of its own what that may mean.
    if (equalsIgnoringCaseText(line, "unable to get password") ||
        equalsIgnoringCaseText(line, "(may instead be incorrect password)")) {
        return true;
    }
    return startsWithIgnoringCase(line, "skipping:") && (endsWithIgnoringCase(line, "  incorrect password") ||
                                                         endsWithIgnoringCase(line, "  unable to get password"));
}

ToolRun infoZipRun(std::string_view tool, const OutputReading& reading, PasswordRoute route)
{
    ToolRun run;
    run.executable = tool;
    run.reading = &reading;
    run.passwordRoute = route;
    return run;
}

} // namespace

const OutputReading InfoZip::zipReading = {nullptr, false, progress, false, nullptr};
const OutputReading InfoZip::unzipReading = {passwordFailure, false, progress, false, nullptr};

ToolRun InfoZip::create(const CreateCommand& command, const std::filesystem::path& scratch)
{
    ToolRun run = infoZipRun(kZip, zipReading, PasswordRoute::newOnTerminal);
    run.successCodes = {0, 1};
    run.arguments = {"-b", scratch.string(), "-r", "-y", std::string(command.level.zipSwitch())};
    if (command.password) {
        run.arguments.push_back("-e"); // asks for the password on the terminal, twice
    }
    run.arguments.push_back(command.archive.string());
    // The exclusion list comes before "--": after it, "-x" would be a file name. zip takes an
    // existing name literally, so the names need no quoting.
    if (command.skipJunk) {
        run.arguments.push_back("-x");
        run.arguments.insert(run.arguments.end(), std::begin(kJunkGlobs), std::end(kJunkGlobs));
    }
    run.arguments.push_back("--");
    run.arguments.insert(run.arguments.end(), command.names.begin(), command.names.end());
    run.givePassword(command.password);
    return run;
}

ToolRun InfoZip::remove(const EditCommand& command, const std::filesystem::path& scratch)
{
    ToolRun run = infoZipRun(kZip, zipReading, PasswordRoute::terminal);
    // "-nw": no name is read as a pattern.
    run.arguments = {"-b", scratch.string(), "-nw", "-d", command.archive.string(), "--"};
    run.arguments.insert(run.arguments.end(), command.names.begin(), command.names.end());
    return run;
}

std::optional<ToolRun> InfoZip::rename(const EditCommand& command)
{
    std::string notes;
    for (std::size_t i = 0; i + 1 < command.names.size(); i += 2) {
        if (command.names[i].find('\n') != std::string::npos || command.names[i + 1].find('\n') != std::string::npos) {
            return std::nullopt;
        }
        // "@ NAME" picks the entry, "@=NEW" gives its new name; a missing comment keeps its own.
        notes += "@ " + command.names[i] + "\n@=" + command.names[i + 1] + "\n@ (comment above this line)\n";
    }
    ToolRun run = infoZipRun(kZipNote, zipReading, PasswordRoute::argument);
    run.arguments = {"-w", command.archive.string()};
    run.standardInput = std::move(notes);
    return run;
}

ToolRun InfoZip::extract(const ExtractCommand& command)
{
    ToolRun run = infoZipRun(kUnzip, unzipReading, PasswordRoute::terminal);
    run.successCodes = {0, 1};
    // unzip reads wildcards in the archive's name too: Report[1].zip would open Report1.zip.
    run.arguments = {"-o", literal(command.archive.string())};
    for (const ChosenEntry& chosen : command.entries) {
        const std::string entry = literal(chosen.name);
        run.arguments.push_back(chosen.isDirectory ? entry + "/*" : entry);
    }
    run.arguments.insert(run.arguments.end(), {"-d", command.destination.string()});
    run.givePassword(command.password);
    return run;
}

ToolRun InfoZip::test(const std::filesystem::path& archive, const std::optional<std::string>& password)
{
    ToolRun run = infoZipRun(kUnzip, unzipReading, PasswordRoute::terminal);
    run.arguments = {"-t", literal(archive.string())};
    run.givePassword(password);
    return run;
}

bool InfoZip::foundNothingToDo(const ArchiveError& failure)
{
    return failure.errorCase() == ArchiveError::Case::toolFailed && failure.tool() == "zip" && failure.status() == 12;
}

bool InfoZip::lacksMethod(const ArchiveError& failure)
{
    return failure.errorCase() == ArchiveError::Case::toolFailed && failure.tool() == "unzip" && failure.status() == 81;
}

std::vector<std::string> InfoZip::failedTests(const std::vector<std::string>& lines)
{
    std::vector<std::string> failing;
    for (const std::string& line : lines) {
        if (line.starts_with("testing: ") && !line.ends_with(" OK")) {
            failing.push_back(line.substr(9));
        }
    }
    return failing;
}

std::string InfoZip::literal(std::string_view name)
{
    std::string pattern;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '[' || c == '*' || c == '?' || (i == 0 && c == '-')) {
            pattern += '[';
            pattern += c;
            pattern += ']';
        } else if (c == '\\') {
            pattern += "\\\\";
        } else {
            pattern += c;
        }
    }
    return pattern;
}

} // namespace tarvo::engine
