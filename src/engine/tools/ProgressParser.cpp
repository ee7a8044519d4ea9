#include "ProgressParser.h"

#include "ToolKind.h"
#include "engine/util/TextUtil.h"

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

void skipBlanks(std::string_view line, std::size_t& at) noexcept
{
    while (at < line.size() && line[at] == ' ') {
        ++at;
    }
}

} // namespace

ProgressParser::Family ProgressParser::familyOf(std::string_view tool) noexcept
{
    switch (toolKindOf(tool)) {
    case ToolKind::sevenZip:
        return Family::sevenZip;
    case ToolKind::tar:
        return Family::tar;
    case ToolKind::unar:
        return Family::unar;
    default:
        return Family::infoZip;
    }
}

bool ProgressParser::onlyNamesEntry(Family family, std::string_view line) noexcept
{
    // bsdtar appends its complaint about an entry to the entry's line: "x NAME: Cannot extract".
    return family == Family::tar && line.size() > 2 && (line[0] == 'a' || line[0] == 'x') && line[1] == ' ' &&
           line.find(": ") == std::string_view::npos;
}

ProgressStep ProgressParser::read(std::string_view line) noexcept
{
    switch (m_family) {
    case Family::infoZip:
        return {counts(line) ? 1 : 0, -1};
    case Family::tar:
        // Exactly as bsdtar writes them: its messages never begin with one lower-case letter alone.
        // A folder it unpacks ("x Photos/") is no file of the planned count.
        return {line.size() > 2 && (line[0] == 'a' || line[0] == 'x') && line[1] == ' ' && !line.ends_with('/') ? 1 : 0,
                -1};
    case Family::unar:
        return {line.ends_with("... OK.") ? 1 : 0, -1};
    case Family::sevenZip:
        break;
    }
    std::size_t at = 0;
    std::int64_t percent = 0;
    if (!readNumber(line, at, percent) || at >= line.size() || line[at] != '%' || percent > 100) {
        return {};
    }
    ++at;
    skipBlanks(line, at);
    // The count of finished files follows when it is not zero, then the operation and the name.
    std::int64_t count = 0;
    std::size_t afterCount = at;
    if (!readNumber(line, afterCount, count)) {
        count = 0;
    }
    ProgressStep step{0, static_cast<int>(percent)};
    if (count > m_reported) {
        step.entries = count - m_reported;
        m_reported = count;
    }
    return step;
}

bool ProgressParser::counts(std::string_view line) noexcept
{
    // Called for every output line: the first letter picks the few prefixes worth comparing.
    if (line.empty()) {
        return false;
    }
    static constexpr CaseFoldedPrefix addingColon("adding:");
    static constexpr CaseFoldedPrefix addingBlank("adding ");
    static constexpr CaseFoldedPrefix updating("updating:");
    static constexpr CaseFoldedPrefix inflating("inflating:");
    static constexpr CaseFoldedPrefix extractingColon("extracting:");
    static constexpr CaseFoldedPrefix extractingBlank("extracting ");
    static constexpr CaseFoldedPrefix creating("creating:");
    switch (line.front() | 0x20) {
    case 'a':
        return addingColon.matches(line) || addingBlank.matches(line);
    case 'u':
        return updating.matches(line);
    case 'i':
        return inflating.matches(line);
    case 'e':
        return extractingColon.matches(line) || extractingBlank.matches(line);
    case 'c':
        return creating.matches(line);
    default:
        return false;
    }
}

} // namespace tarvo::engine
