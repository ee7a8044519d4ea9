// SPDX-License-Identifier: GPL-3.0-or-later

#include "Tar.h"

#include "engine/tools/ProcessRunner.h"
#include "engine/util/TextUtil.h"
#include "engine/vocabulary/Housekeeping.h"

namespace tarvo::engine {

namespace {

// bsdtar -v: "a NAME" when creating, "x NAME" when extracting, exactly as it writes them: its
// messages never begin with one lower-case letter alone. A folder it unpacks ("x Photos/") is no
// file of the planned count.
ProgressStep progress(std::string_view line, std::int64_t&) noexcept
{
    return {line.size() > 2 && (line[0] == 'a' || line[0] == 'x') && line[1] == ' ' && !line.ends_with('/') ? 1 : 0,
            -1};
}

// bsdtar appends its complaint about an entry to the entry's line: "x NAME: Cannot extract".
bool onlyNamesEntry(std::string_view line) noexcept
{
    return line.size() > 2 && (line[0] == 'a' || line[0] == 'x') && line[1] == ' ' &&
           line.find(": ") == std::string_view::npos;
}

// Run as root, bsdtar would also restore set-user-ID bits, access lists, extended attributes and
// file flags, and fail a whole archive where the file system refuses one: unpacked files get plain
// permissions, as they do for any other user.
constexpr std::string_view kPlainPermissions = "--no-same-permissions";

ToolRun tarRun(const std::filesystem::path& tool, std::vector<std::string> arguments)
{
    ToolRun run;
    run.executable = tool;
    run.arguments = std::move(arguments);
    run.reading = &Tar::bsdtarReading;
    return run;
}

std::string unescapedTarName(std::string_view rest)
{
    while (rest.size() > 1 && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    std::string name;
    // bsdtar writes a backslash as "\\", control characters as "\n" and the like, and other bytes
    // it will not print as three octal digits.
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c != '\\' || i + 1 == rest.size()) {
            name += c;
            continue;
        }
        const char next = rest[++i];
        static constexpr std::string_view kLetters = "abfnrtv\\";
        static constexpr std::string_view kControls = "\a\b\f\n\r\t\v\\";
        if (const std::size_t at = kLetters.find(next); at != std::string_view::npos) {
            name += kControls[at];
        } else if (i + 2 < rest.size() && next >= '0' && next <= '3' && rest[i + 1] >= '0' && rest[i + 1] <= '7' &&
                   rest[i + 2] >= '0' && rest[i + 2] <= '7') {
            name += static_cast<char>((next - '0') * 64 + (rest[i + 1] - '0') * 8 + (rest[i + 2] - '0'));
            i += 2;
        } else {
            name += '\\';
            name += next;
        }
    }
    return name;
}

} // namespace

const OutputReading Tar::bsdtarReading = {nullptr, false, progress, false, onlyNamesEntry};

ToolRun Tar::create(const TarTool& tar, const CreateCommand& command)
{
    const bool bsdtar = tar.isBsdtar;
    const std::string archive = command.archive.string();
    const std::string gzipLevel = std::to_string(command.level.gzipLevel());
    std::vector<std::string> arguments;
    if (tar.parallelGzip) {
        // The same gzip format, compressed on every core. tar starts the program itself (no shell).
        // Blocks of 1 MiB instead of 128 KiB: fewer hand-overs between the threads, a little faster.
        const std::string program = tar.parallelGzip->string() + " -" + gzipLevel + " -b 1024";
        arguments = bsdtar ? std::vector<std::string>{"-cvf", archive, "--use-compress-program", program}
                           : std::vector<std::string>{"-cf", archive, "-I", program};
    } else if (bsdtar) {
        // "-v" names each entry on standard error ("a NAME"), which the progress counts.
        arguments = {"-czvf", archive, "--options", "gzip:compression-level=" + gzipLevel};
    } else {
        arguments = {"-cf", archive, "-I", "gzip -" + gzipLevel};
    }
    if (command.skipJunk) {
        for (const HousekeepingItem& item : kHousekeeping) {
            arguments.insert(arguments.end(), {"--exclude", std::string(item.name)});
        }
    }
    arguments.push_back("--");
    for (const std::string& name : command.names) {
        // bsdtar reads "@name" as another archive to copy in.
        arguments.push_back(bsdtar && name.starts_with('@') ? "./" + name : name);
    }
    return tarRun(tar.path, std::move(arguments));
}

ToolRun Tar::rewrite(const TarTool& tar, ArchiveKind kind, const std::filesystem::path& source,
                     const EditCommand& command, const std::vector<std::string>& removed, std::string_view prefix)
{
    std::vector<std::string> arguments{"-cvf", command.archive.string()};
    if (kind == ArchiveKind::tarGz && tar.parallelGzip) {
        arguments.insert(arguments.end(), {"--use-compress-program", tar.parallelGzip->string() + " -6 -b 1024"});
    } else if (kind == ArchiveKind::tarGz) {
        arguments.push_back("-z");
    } else if (kind == ArchiveKind::tarXz) {
        arguments.push_back("-J");
    } else if (kind == ArchiveKind::tarBz2) {
        arguments.push_back("-j");
    } else if (kind == ArchiveKind::tarZst) {
        arguments.push_back("--zstd");
    }
    // A leading "^" anchors a pattern at the start of the path; it then matches the entry and
    // everything below it. bsdtar checks it before the "-s" rule, on the names as they are read.
    for (const std::string& name : removed) {
        arguments.insert(arguments.end(), {"--exclude", "^" + literal(name)});
    }
    if (!prefix.empty()) {
        // bsdtar applies the rule to the names from the folder, not to those copied from `source`;
        // "S" leaves the targets of symbolic links as they are.
        std::string rule = ",^";
        for (char c : prefix) {
            if (std::string_view(".[]*^$\\,").find(c) != std::string_view::npos) {
                rule += '\\';
            }
            rule += c;
        }
        arguments.insert(arguments.end(), {"-s", rule + "/,,S"});
    }
    arguments.insert(arguments.end(), {"--", "@" + source.string()});
    arguments.insert(arguments.end(), command.names.begin(), command.names.end());
    return tarRun(tar.path, std::move(arguments));
}

ToolRun Tar::extract(const TarTool& tar, ArchiveKind kind, const ExtractCommand& command)
{
    // Both tars tell the compression by the content; "-z" keeps tar.gz as it always ran. bsdtar's
    // "-v" names each entry ("x NAME"), which the progress counts. Files belong to the user who
    // unpacks them, also when that user is root.
    std::string mode = kind == ArchiveKind::tarGz ? "-xz" : "-x";
    mode += tar.isBsdtar ? "vf" : "f";
    ToolRun run = tarRun(tar.path, {mode, command.archive.string(), "-C", command.destination.string(),
                                    "--no-same-owner", std::string(kPlainPermissions)});
    if (!tar.isBsdtar) {
        run.arguments.push_back("--no-wildcards");
    }
    run.arguments.push_back("--");
    for (const ChosenEntry& chosen : command.entries) {
        run.arguments.push_back(tar.isBsdtar ? literal(chosen.name) : chosen.name);
    }
    return run;
}

ToolRun Tar::extractOther(const std::filesystem::path& bsdtar, const ExtractCommand& command)
{
    ToolRun run = tarRun(bsdtar, {"-xvf", command.archive.string(), "-C", command.destination.string(),
                                  "--no-same-owner", std::string(kPlainPermissions), "--"});
    for (const ChosenEntry& chosen : command.entries) {
        run.arguments.push_back(literal(chosen.name));
    }
    // In a UTF-8 locale libarchive writes names flagged as UTF-8 as they are and the others as
    // their stored bytes, which the result's check then reads in the archive's encoding; unzip would
    // turn names made on Windows into Latin-1 on its own, and bsdtar in the C locale skips UTF-8 ones.
    std::vector<std::string> environment;
    for (std::string& variable : ProcessRunner::toolEnvironment()) {
        if (!variable.starts_with("LC_ALL=")) {
            environment.push_back(std::move(variable));
        }
    }
    environment.emplace_back("LC_ALL=C.UTF-8");
    run.environment = std::move(environment);
    // It asks for no password it is not given.
    run.passwordRoute = PasswordRoute::standardInput;
    run.givePassword(command.password);
    return run;
}

ToolRun Tar::test(const TarTool& tar, const std::filesystem::path& archive)
{
    return tarRun(tar.path, {"-tf", archive.string()});
}

ToolRun Tar::list(const std::filesystem::path& bsdtar, const std::filesystem::path& archive)
{
    return tarRun(bsdtar, {"-tvf", std::filesystem::absolute(archive).string()});
}

std::string_view Tar::compressorOf(ArchiveKind kind)
{
    switch (kind) {
    case ArchiveKind::tarGz:
    case ArchiveKind::gzip:
        return "gzip";
    case ArchiveKind::tarXz:
    case ArchiveKind::xz:
        return "xz";
    case ArchiveKind::tarBz2:
    case ArchiveKind::bzip2:
        return "bzip2";
    case ArchiveKind::tarZst:
    case ArchiveKind::zstd:
        return "zstd";
    default:
        return {};
    }
}

ToolRun Tar::testStream(const std::filesystem::path& compressor, const std::filesystem::path& archive)
{
    ToolRun run;
    run.executable = compressor;
    run.arguments = {"-t", "--", archive.string()};
    return run;
}

ToolRun Tar::decompress(const std::filesystem::path& compressor, const std::filesystem::path& archive)
{
    ToolRun run;
    run.executable = compressor;
    run.arguments = {"-d", "-c", "--", archive.string()};
    return run;
}

// "drwxr-xr-x  0 user group  0 Dec  7 08:20 name/": mode, links, owner, group, size, three fields
// of date, then the name as bsdtar prints it; a link adds " -> target".
ArchiveEntry Tar::parseListLine(std::string_view line, const std::function<bool(const std::string&)>& isListed)
{
    std::string_view rest = line;
    const std::string_view mode = nextField(rest);
    for (int i = 0; i < 3; ++i) {
        nextField(rest);
    }
    const std::string_view size = nextField(rest);
    for (int i = 0; i < 3; ++i) {
        nextField(rest);
    }
    if (mode.size() < 10 || rest.empty()) {
        return {};
    }
    ArchiveEntry entry;
    // A symbolic link adds " -> TARGET", a hard link " link to TARGET". Either text may be part of
    // a name too; a hard link's target is an entry listed before it, which tells where it begins.
    if (const std::size_t arrow = rest.rfind(" -> "); mode.front() == 'l' && arrow != std::string_view::npos) {
        rest = rest.substr(0, arrow);
    } else if (mode.front() == 'h') {
        constexpr std::string_view kLinkTo = " link to ";
        std::size_t cut = rest.rfind(kLinkTo);
        for (std::size_t at = rest.find(kLinkTo); isListed && at != std::string_view::npos;
             at = rest.find(kLinkTo, at + 1)) {
            if (isListed(unescapedTarName(rest.substr(at + kLinkTo.size())))) {
                cut = at;
                break;
            }
        }
        rest = rest.substr(0, cut);
    }
    entry.isDirectory = mode.front() == 'd';
    entry.path = unescapedTarName(rest);
    entry.byteSize = decimalSize(size);
    return entry;
}

std::string Tar::literal(std::string_view name)
{
    std::string pattern;
    for (char c : name) {
        if (c == '[' || c == ']' || c == '*' || c == '?' || c == '\\') {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern;
}

} // namespace tarvo::engine
