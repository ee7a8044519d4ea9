#include "PasswordFailure.h"

#include "ToolKind.h"
#include "engine/util/TextUtil.h"

namespace tarvo::engine {

namespace {

// "skipping: NAME  incorrect password", "skipping: NAME  unable to get password": the verdict
// follows the name, and every other line names a file last or says something else.
bool unzipFailure(std::string_view line) noexcept
{
    // A wrong password passes unzip's one-byte check once in 256 times; the data's checksum then
    // fails, and unzip says on a line of its own what that may mean.
    if (equalsIgnoringCaseText(line, "unable to get password") ||
        equalsIgnoringCaseText(line, "(may instead be incorrect password)")) {
        return true;
    }
    return startsWithIgnoringCase(line, "skipping:") && (endsWithIgnoringCase(line, "  incorrect password") ||
                                                         endsWithIgnoringCase(line, "  unable to get password"));
}

// "Cannot open encrypted archive. Wrong password?" on a line of its own (after "ERROR: ARCHIVE"),
// or as "ERROR: ARCHIVE : Cannot open ...", and "ERROR: Data Error in encrypted file. Wrong
// password? : NAME" or "ERROR: Wrong password : NAME". Names appear after "- ", "+ ", "Path = " and the like, never
// after "ERROR:".
bool sevenZipFailure(std::string_view line) noexcept
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

// unar prints "NAME  (6 B)... VERDICT" and "ARCHIVE: VERDICT"; lsar prints the bare verdict on
// standard error and its names inside JSON strings. Either way a name never ends the line.
bool unarFailure(std::string_view line) noexcept
{
    return endsWithIgnoringCase(line, "failed! (missing or wrong password)") ||
           endsWithIgnoringCase(line, "failed! (missing or wrong password.)") ||
           endsWithIgnoringCase(line, "this archive requires a password to unpack. use the -p option to provide one.");
}

// RARLAB's unrar: "The specified password is incorrect.", "Incorrect password for NAME",
// "Checksum error in the encrypted file NAME. Corrupt file or wrong password.". Its name lines
// begin with "Extracting", "Creating" or "Adding".
bool unrarFailure(std::string_view line) noexcept
{
    if (equalsIgnoringCaseText(line, "the specified password is incorrect.") ||
        startsWithIgnoringCase(line, "incorrect password for ")) {
        return true;
    }
    return (startsWithIgnoringCase(line, "checksum error in the encrypted file ") ||
            startsWithIgnoringCase(line, "crc failed in the encrypted file ")) &&
           endsWithIgnoringCase(line, ". corrupt file or wrong password.");
}

} // namespace

PasswordFailure::Family PasswordFailure::familyOf(std::string_view toolName) noexcept
{
    switch (toolKindOf(toolName)) {
    case ToolKind::unzip:
        return Family::unzip;
    case ToolKind::sevenZip:
        return Family::sevenZip;
    case ToolKind::unar:
    case ToolKind::lsar:
        return Family::unar;
    case ToolKind::unrar:
    case ToolKind::rar:
        return Family::unrar;
    case ToolKind::zip:
    case ToolKind::tar:
    case ToolKind::gzip:
    case ToolKind::entryLister:
        return Family::none;
    case ToolKind::other:
        break;
    }
    return Family::any;
}

bool PasswordFailure::matchesLine(std::string_view line, Family family) noexcept
{
    if (line.empty() || family == Family::none) {
        return false;
    }
    // This runs for every line a tool prints. Every message ends with its verdict ("password",
    // "password?", "(... password)", a full stop), except two that end with a file's name.
    const char last = asciiLowerChar(line.back());
    if (last != 'd' && last != '?' && last != ')' && last != '.') {
        static constexpr CaseFoldedPrefix error("error:");
        static constexpr CaseFoldedPrefix incorrect("incorrect passwo");
        const bool sevenZip = family == Family::sevenZip || family == Family::any;
        const bool unrar = family == Family::unrar || family == Family::any;
        return (sevenZip && error.matches(line) && sevenZipFailure(line)) ||
               (unrar && incorrect.matches(line) && unrarFailure(line));
    }
    switch (family) {
    case Family::unzip:
        return unzipFailure(line);
    case Family::sevenZip:
        return sevenZipFailure(line);
    case Family::unar:
        return unarFailure(line);
    case Family::unrar:
        return unrarFailure(line);
    case Family::none:
        return false;
    case Family::any:
        break;
    }
    return unzipFailure(line) || sevenZipFailure(line) || unarFailure(line) || unrarFailure(line);
}

} // namespace tarvo::engine
