// SPDX-License-Identifier: GPL-3.0-or-later

#include "SearchText.h"

#include "TextUtil.h"

namespace tarvo::engine {

namespace {

// U+00C0 to U+017F, lower case and without accents; "#" marks the letters that become two, "."
// those kept as they are.
constexpr std::string_view kLatin = "aaaaaa#ceeeeiiiidnooooo.ouuuuy##aaaaaa#ceeeeiiiidnooooo.ouuuuy#yaaaaaaccccccccdddd"
                                    "eeeeeeeeeegggggggghhhhiiiiiiiiii##jjkk.llllllllllnnnnnnn..oooooo##rrrrrrsssssss"
                                    "sttttttuuuuuuuuuuuuwwyyyzzzzzzs";
static_assert(kLatin.size() == 0x180 - 0xC0);

void appendCodePoint(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t decode(std::string_view sequence)
{
    const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(sequence[i])); };
    switch (sequence.size()) {
    case 2:
        return ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
    case 3:
        return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    default:
        return ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
    }
}

// A character folded, as text to append; empty for an accent that is dropped.
void appendFoldedCharacter(std::string& out, char32_t c)
{
    if (c >= 0xC0 && c < 0x180) {
        const char base = kLatin[c - 0xC0];
        if (base == '#') {
            switch (c) {
            case 0xC6:
            case 0xE6:
                out += "ae";
                return;
            case 0xDE:
            case 0xFE:
                out += "th";
                return;
            case 0xDF:
                out += "ss";
                return;
            case 0x132:
            case 0x133:
                out += "ij";
                return;
            default: // Œ, œ
                out += "oe";
                return;
            }
        }
        if (base != '.') {
            out += base;
            return;
        }
    } else if (c >= 0x300 && c < 0x370) {
        return; // a combining accent
    } else if (c >= 0xFF01 && c <= 0xFF5E) {
        out += asciiLowerChar(static_cast<char>(c - 0xFF01 + 0x21));
        return;
    } else if ((c >= 0x391 && c <= 0x3A9) || (c >= 0x410 && c <= 0x42F)) {
        c += 0x20; // Greek and Cyrillic capitals
    } else if (c >= 0x400 && c <= 0x40F) {
        c += 0x50;
    }
    switch (c) {
    case 0x3AC: // Greek vowels with tonos, and the final sigma
        c = 0x3B1;
        break;
    case 0x3AD:
        c = 0x3B5;
        break;
    case 0x3AE:
        c = 0x3B7;
        break;
    case 0x3AF:
        c = 0x3B9;
        break;
    case 0x3CC:
        c = 0x3BF;
        break;
    case 0x3CD:
        c = 0x3C5;
        break;
    case 0x3CE:
        c = 0x3C9;
        break;
    case 0x3C2:
        c = 0x3C3;
        break;
    case 0x451: // ё
        c = 0x435;
        break;
    default:
        break;
    }
    appendCodePoint(out, c);
}

} // namespace

void appendSearchFolded(std::string& out, std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            out += asciiLowerChar(static_cast<char>(byte));
            ++i;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text.substr(i));
        if (length == 0) {
            out += text[i];
            ++i;
            continue;
        }
        appendFoldedCharacter(out, decode(text.substr(i, length)));
        i += length;
    }
}

std::string searchFolded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    appendSearchFolded(out, text);
    return out;
}

namespace {

// Past one UTF-8 character (or one stray byte).
std::size_t nextCharacter(std::string_view text, std::size_t at)
{
    do {
        ++at;
    } while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80);
    return at;
}

} // namespace

bool globMatches(std::string_view pattern, std::string_view text)
{
    // The classic walk with one point to go back to: the last "*" and where its run ends.
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            t = nextCharacter(text, t);
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            resume = nextCharacter(text, resume);
            t = resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

SearchQuery::SearchQuery(std::string_view typed)
    : m_folded(searchFolded(trimmed(typed)))
    , m_pattern(m_folded.find_first_of("*?") != std::string::npos)
{
    std::string_view rest = m_folded;
    while (m_pattern && !rest.empty()) {
        const std::size_t wildcard = std::min(rest.find_first_of("*?"), rest.size());
        if (wildcard > 0) {
            m_literals.emplace_back(static_cast<std::size_t>(rest.data() - m_folded.data()), wildcard);
        }
        rest.remove_prefix(std::min(wildcard + 1, rest.size()));
    }
}

bool SearchQuery::matches(std::string_view path, std::string_view name) const
{
    if (!m_pattern) {
        return path.find(m_folded) != std::string_view::npos;
    }
    // A path that lacks the pattern's runs without wildcards, in their order, matches in no way; and
    // the name is the path's end.
    std::size_t from = 0;
    for (const auto& [at, size] : m_literals) {
        from = path.find(std::string_view(m_folded).substr(at, size), from);
        if (from == std::string_view::npos) {
            return false;
        }
        from += size;
    }
    return globMatches(m_folded, path) || globMatches(m_folded, name);
}

bool SearchQuery::narrows(const SearchQuery& earlier) const
{
    // A longer part of a path holds the shorter one.
    return !m_pattern && !earlier.m_pattern && m_folded.find(earlier.m_folded) != std::string::npos;
}

} // namespace tarvo::engine
