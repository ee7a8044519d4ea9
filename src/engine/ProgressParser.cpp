#include "ProgressParser.h"

#include "TextUtil.h"

namespace tarvo::engine {

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
