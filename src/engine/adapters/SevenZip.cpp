// SPDX-License-Identifier: GPL-3.0-or-later

#include "SevenZip.h"

#include "engine/util/TextUtil.h"
#include "engine/vocabulary/Housekeeping.h"

#include <algorithm>

namespace tarvo::engine {

namespace {

bool isDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

// Reads the digits at `at`; false when there are none or too many to mean a count.
bool readNumber(std::string_view line, std::size_t& at, std::int64_t& value) noexcept
{
    const std::size_t start = at;
    value = 0;
    while (at < line.size() && isDigit(line[at]) && at - start < 18) {
        value = value * 10 + (line[at] - '0');
        ++at;
    }
    return at > start && (at == line.size() || !isDigit(line[at]));
}

// "-bsp1": "NN% [COUNT] [OP NAME]", redrawn after backspaces. The count of finished files is a
// running one, which `counted` turns into steps.
ProgressStep progress(std::string_view line, std::int64_t& counted) noexcept
{
    std::size_t at = 0;
    std::int64_t percent = 0;
    if (!readNumber(line, at, percent) || at >= line.size() || line[at] != '%' || percent > 100) {
        return {};
    }
    ++at;
    while (at < line.size() && line[at] == ' ') {
        ++at;
    }
    // The count of finished files follows when it is not zero, then the operation and the name.
    std::int64_t count = 0;
    std::size_t afterCount = at;
    if (!readNumber(line, afterCount, count)) {
        count = 0;
    }
    ProgressStep step{0, static_cast<int>(percent)};
    if (count > counted) {
        step.entries = count - counted;
        counted = count;
    }
    return step;
}

// "Cannot open encrypted archive. Wrong password?" on a line of its own (after "ERROR: ARCHIVE"),
// or as "ERROR: ARCHIVE : Cannot open ...", and "ERROR: Data Error in encrypted file. Wrong
// password? : NAME" or "ERROR: Wrong password : NAME". Names appear after "- ", "+ ", "Path = " and
// the like, never after "ERROR:".
bool passwordWords(std::string_view line) noexcept
{
    constexpr std::string_view cannotOpen = "cannot open encrypted archive. wrong password?";
    if (equalsIgnoringCaseText(line, cannotOpen)) {
        return true;
    }
    if (!startsWithIgnoringCase(line, "error:")) {
        return false;
    }
    if (endsWithIgnoringCase(line, cannotOpen) &&
        endsWithIgnoringCase(line.substr(0, line.size() - cannotOpen.size()), ": ")) {
        return true;
    }
    const std::string_view rest = trimmed(line.substr(6));
    // "ERROR: Wrong password : NAME" is its word on an AES member of a ZIP.
    return startsWithIgnoringCase(rest, "wrong password :") ||
           startsWithIgnoringCase(rest, "data error in encrypted file. wrong password?") ||
           startsWithIgnoringCase(rest, "crc failed in encrypted file. wrong password?");
}

bool passwordFailure(std::string_view line) noexcept
{
    if (line.empty()) {
        return false;
    }
    // This runs for every line 7-Zip prints. Its messages end with "password?" or a full stop,
    // except those that end with a file's name, which begin with "ERROR:".
    const char last = asciiLowerChar(line.back());
    if (last != 'd' && last != '?' && last != ')' && last != '.') {
        static constexpr CaseFoldedPrefix error("error:");
        return error.matches(line) && passwordWords(line);
    }
    return passwordWords(line);
}

// The switches every 7-Zip command starts with; "-bso1 -bsp1" report the percentage done.
ToolRun sevenZipRun(const std::filesystem::path& tool, std::vector<std::string> arguments)
{
    ToolRun run;
    run.executable = tool;
    run.arguments = std::move(arguments);
    run.reading = &SevenZip::reading;
    run.passwordRoute = PasswordRoute::standardInput;
    return run;
}

} // namespace

const OutputReading SevenZip::reading = {passwordFailure, false, progress, true, nullptr};

ToolRun SevenZip::create(const std::filesystem::path& tool, const CreateCommand& command,
                         std::optional<ZipEncryption> zip)
{
    // "-snl" stores links as links (7-Zip would otherwise pack what they point to, even outside the
    // items).
    ToolRun run =
        sevenZipRun(tool, {"a", "-y", "-bso1", "-bsp1", "-snl", "-spd", std::string(command.level.sevenZipSwitch())});
    run.successCodes = {0, 1};
    if (zip) {
        run.arguments.push_back("-tzip");
    }
    if (command.password) {
        run.arguments.push_back("-p"); // reads the password from standard input
        if (!zip) {
            run.arguments.push_back("-mhe=on");
        } else {
            run.arguments.push_back(*zip == ZipEncryption::aes256 ? "-mem=AES256" : "-mem=ZipCrypto");
        }
    }
    if (command.skipJunk) {
        for (const HousekeepingItem& item : kHousekeeping) {
            run.arguments.push_back("-xr!" + std::string(item.name));
        }
    }
    return finishedCreation(std::move(run), command);
}

ToolRun SevenZip::add(const std::filesystem::path& tool, const CreateCommand& command, std::optional<ZipEncryption> zip,
                      bool encryptNames)
{
    ToolRun run = create(tool, {command.archive, command.names, command.level, std::nullopt, command.skipJunk});
    const auto names = std::find(run.arguments.begin(), run.arguments.end(), command.archive.string());
    if (command.password) {
        std::vector<std::string> switches{"-p"}; // reads the password from standard input
        if (zip) {
            switches.push_back(*zip == ZipEncryption::aes256 ? "-mem=AES256" : "-mem=ZipCrypto");
        } else if (encryptNames) {
            switches.push_back("-mhe=on");
        }
        run.arguments.insert(names, switches.begin(), switches.end());
    }
    run.givePassword(command.password);
    if (command.password) {
        // Asked twice where the names are encrypted: to open the archive, then for what it adds.
        run.standardInput = *command.password + "\n" + *command.password + "\n";
    }
    return run;
}

namespace {

// "d" and "rn" on an existing archive. 7-Zip asks on standard input for the password of one whose
// names are encrypted, and writes them encrypted again; a "-p" would have it ask for a new one.
ToolRun sevenZipEdit(const std::filesystem::path& tool, std::string_view operation, const EditCommand& command)
{
    ToolRun run = sevenZipRun(tool, {std::string(operation), "-y", "-bso1", "-bsp1", "-spd"});
    run.arguments.insert(run.arguments.end(), {"--", command.archive.string()});
    run.arguments.insert(run.arguments.end(), command.names.begin(), command.names.end());
    run.givePassword(command.password);
    return run;
}

} // namespace

ToolRun SevenZip::remove(const std::filesystem::path& tool, const EditCommand& command)
{
    return sevenZipEdit(tool, "d", command);
}

ToolRun SevenZip::rename(const std::filesystem::path& tool, const EditCommand& command)
{
    return sevenZipEdit(tool, "rn", command);
}

bool SevenZip::takesZipPassword(std::string_view password, ZipEncryption encryption) noexcept
{
    const bool plain = std::all_of(password.begin(), password.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
    return plain && (encryption != ZipEncryption::aes256 || password.size() <= 99);
}

ToolRun SevenZip::extract(const std::filesystem::path& tool, const ExtractCommand& command)
{
    ToolRun run = sevenZipRun(tool, {"x", "-y", "-bso1", "-bsp1", "-o" + command.destination.string()});
    run.successCodes = {0, 1};
    if (!command.password) {
        run.arguments.push_back("-p");
    }
    run.arguments.insert(run.arguments.end(), {"-spd", "--", command.archive.string()});
    for (const ChosenEntry& chosen : command.entries) {
        run.arguments.push_back(chosen.name);
    }
    run.givePassword(command.password);
    return run;
}

ToolRun SevenZip::test(const std::filesystem::path& tool, const std::filesystem::path& archive,
                       const std::optional<std::string>& password, const std::vector<std::string>& entries)
{
    ToolRun run = sevenZipRun(tool, {"t", "-y", "-bso1", "-bse1", "-bsp0"});
    if (!password) {
        run.arguments.push_back("-p");
    }
    if (!entries.empty()) {
        run.arguments.push_back("-spd");
    }
    run.arguments.insert(run.arguments.end(), {"--", archive.string()});
    run.arguments.insert(run.arguments.end(), entries.begin(), entries.end());
    run.givePassword(password);
    return run;
}

ToolRun SevenZip::list(const std::filesystem::path& tool, const std::filesystem::path& archive,
                       const std::optional<std::string>& password)
{
    ToolRun run = sevenZipRun(tool, {"l", "-slt", "--", std::filesystem::absolute(archive).string()});
    run.givePassword(password);
    return run;
}

ToolRun SevenZip::readEntry(const std::filesystem::path& tool, const std::filesystem::path& archive,
                            const std::string& entry, const std::optional<std::string>& password)
{
    ToolRun run = sevenZipRun(tool, {"e", "-so", "-spd", "--", std::filesystem::absolute(archive).string(), entry});
    run.givePassword(password);
    return run;
}

ToolRun SevenZip::decompress(const std::filesystem::path& tool, const std::filesystem::path& archive,
                             std::string_view type)
{
    // One compressed file holds no password; a bare "-p" keeps 7-Zip from asking for one.
    return sevenZipRun(tool, {"e", "-so", "-t" + std::string(type), "-p", "--", archive.string()});
}

std::optional<std::string> SevenZip::damagedEntry(std::string_view line)
{
    if (const auto colon = line.find(" : "); line.starts_with("ERROR: ") && colon != std::string_view::npos) {
        return std::string(line.substr(colon + 3));
    }
    return std::nullopt;
}

void SevenZip::ListReader::line(std::string_view line)
{
    // The archive's own fields come first, until a line of dashes.
    if (!m_inEntries) {
        m_inEntries = line == "----------";
        return;
    }
    const auto value = [line](std::string_view key) -> std::optional<std::string_view> {
        return line.starts_with(key) ? std::optional(line.substr(key.size())) : std::nullopt;
    };
    if (const auto path = value("Path = ")) {
        finishEntry();
        m_current = ArchiveEntry{std::string(*path), 0, false};
        m_isLink = false;
    } else if (!m_current) {
        return;
    } else if (const auto size = value("Size = ")) {
        m_current->byteSize = decimalSize(*size);
    } else if (const auto attributes = value("Attributes = ")) {
        // "D drwxr-xr-x", "A lrwxrwxrwx": the kind, then the mode as ls writes it.
        m_current->isDirectory = attributes->starts_with('D');
        m_isLink = attributes->find(" l") != std::string_view::npos;
    } else if (line == "Folder = +") {
        m_current->isDirectory = true;
    } else if (line == "Encrypted = +") {
        m_listing.isEncrypted = true;
    }
}

void SevenZip::ListReader::finishEntry()
{
    if (m_current && !m_current->path.empty()) {
        if (m_isLink) {
            m_links.push_back(m_listing.entries.size());
        }
        m_listing.entries.push_back(std::move(*m_current));
        m_listing.indexes.push_back(-1);
    }
    m_current.reset();
}

ArchiveListing SevenZip::ListReader::finish(std::vector<std::size_t>& links)
{
    finishEntry();
    m_listing.hasContents = true;
    links = std::move(m_links);
    return std::move(m_listing);
}

} // namespace tarvo::engine
