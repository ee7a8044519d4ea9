// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tarvo::engine {

std::string asciiLower(std::string_view text);

namespace detail {

// Tables rather than comparisons: these tests run on every byte of every output line.
inline constexpr auto kAsciiLower = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    }
    return table;
}();

inline constexpr auto kAsciiSpace = [] {
    std::array<bool, 256> table{};
    for (int c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        table[c] = true;
    }
    return table;
}();

} // namespace detail

constexpr char asciiLowerChar(char c) noexcept
{
    return static_cast<char>(detail::kAsciiLower[static_cast<unsigned char>(c)]);
}

constexpr bool isAsciiSpace(char c) noexcept
{
    return detail::kAsciiSpace[static_cast<unsigned char>(c)];
}

// Case-insensitive (ASCII) tests that allocate nothing. They run for every output line of every
// tool, so they live here to be inlined.
inline bool equalsIgnoringCaseText(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLowerChar(a[i]) != asciiLowerChar(b[i])) {
            return false;
        }
    }
    return true;
}

inline bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) noexcept
{
    return text.size() >= prefix.size() && equalsIgnoringCaseText(text.substr(0, prefix.size()), prefix);
}

inline bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) noexcept
{
    return text.size() >= suffix.size() && equalsIgnoringCaseText(text.substr(text.size() - suffix.size()), suffix);
}

// A fixed prefix of up to 16 ASCII bytes, matched without regard to letter case a word at a time.
// For the tests that run on every output line of every tool.
class CaseFoldedPrefix
{
public:
    consteval explicit CaseFoldedPrefix(std::string_view prefix)
        : m_size(prefix.size())
    {
        if (prefix.size() > 16) {
            throw "prefix longer than 16 bytes";
        }
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            const auto c = static_cast<unsigned char>(asciiLowerChar(prefix[i]));
            const bool letter = c >= 'a' && c <= 'z';
            const std::size_t shift = 8 * (i % 8);
            m_word[i / 8] |= std::uint64_t{c} << shift;
            m_fold[i / 8] |= std::uint64_t{letter ? 0x20u : 0u} << shift;
            m_care[i / 8] |= std::uint64_t{0xFF} << shift;
        }
    }

    bool matches(std::string_view text) const noexcept
    {
        static_assert(std::endian::native == std::endian::little);
        if (text.size() < m_size) {
            return false;
        }
        for (std::size_t w = 0; w * 8 < m_size; ++w) {
            std::uint64_t chunk = 0;
            if (text.size() >= w * 8 + 8) {
                std::memcpy(&chunk, text.data() + w * 8, 8);
            } else {
                for (std::size_t i = w * 8; i < text.size() && i < w * 8 + 8; ++i) {
                    chunk |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * (i % 8));
                }
            }
            if (((chunk | m_fold[w]) & m_care[w]) != m_word[w]) {
                return false;
            }
        }
        return true;
    }

private:
    std::size_t m_size;
    std::uint64_t m_word[2]{};
    std::uint64_t m_fold[2]{};
    std::uint64_t m_care[2]{};
};

std::string_view trimmedUnicode(std::string_view text) noexcept;

// Removes Unicode white space and line breaks (the set of Unicode's White_Space property) from
// both ends of UTF-8 text. Tools print ASCII blanks; the rest of the set takes the slow way.
inline std::string_view trimmed(std::string_view text) noexcept
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin != end && isAsciiSpace(*begin)) {
        ++begin;
    }
    while (end != begin && isAsciiSpace(end[-1])) {
        --end;
    }
    text = std::string_view(begin, static_cast<std::size_t>(end - begin));
    if (text.empty() ||
        (static_cast<unsigned char>(text.front()) < 0x80 && static_cast<unsigned char>(text.back()) < 0x80)) {
        return text;
    }
    return trimmedUnicode(text);
}

// Valid UTF-8 is returned unchanged; every invalid sequence becomes U+FFFD.
std::string repairedUtf8(std::string_view bytes);
bool isValidUtf8(std::string_view bytes) noexcept;
// The length of the well-formed UTF-8 sequence that starts `text`, or 0 when none does.
std::size_t utf8SequenceLength(std::string_view text) noexcept;

// Every occurrence of `needle` replaced (literally, case-sensitively).
std::string replacingAll(std::string_view text, std::string_view needle, std::string_view replacement);

// Splits off the next field of a line of blank-separated fields; empty at the line's end.
std::string_view nextField(std::string_view& rest) noexcept;
// A size as a lister prints it in decimal digits; 0 when it is none or beyond 64 bits.
std::int64_t decimalSize(std::string_view digits) noexcept;

} // namespace tarvo::engine
