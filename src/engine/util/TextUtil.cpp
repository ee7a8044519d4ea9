// SPDX-License-Identifier: GPL-3.0-or-later

#include "TextUtil.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace tarvo::engine {

namespace {

bool isWhiteSpace(char32_t c) noexcept
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Length of the valid sequence at `p`, or 0 when it is not one; `*maximal` receives the length of
// its longest valid prefix (at least 1), which becomes a single U+FFFD.
std::size_t sequenceLength(const unsigned char* p, std::size_t available, std::size_t* maximal) noexcept
{
    const unsigned char lead = p[0];
    std::size_t need = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        if (lead == 0xE0) {
            lo = 0xA0;
        } else if (lead == 0xED) {
            hi = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        if (lead == 0xF0) {
            lo = 0x90;
        } else if (lead == 0xF4) {
            hi = 0x8F;
        }
    } else {
        *maximal = 1;
        return 0;
    }
    std::size_t i = 1;
    for (; i <= need; ++i) {
        if (i >= available) {
            break;
        }
        const unsigned char c = p[i];
        const unsigned char low = (i == 1) ? lo : 0x80;
        const unsigned char high = (i == 1) ? hi : 0xBF;
        if (c < low || c > high) {
            break;
        }
    }
    if (i == need + 1) {
        return i;
    }
    *maximal = i;
    return 0;
}

bool allAscii(const char* data, std::size_t size) noexcept
{
    // A plain OR over blocks: the compiler turns it into vector instructions.
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    std::size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        unsigned char any = 0;
        for (std::size_t j = 0; j < 64; ++j) {
            any |= bytes[i + j];
        }
        if (any & 0x80) {
            return false;
        }
    }
    unsigned char rest = 0;
    for (; i < size; ++i) {
        rest |= bytes[i];
    }
    return (rest & 0x80) == 0;
}

} // namespace

std::string asciiLower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), asciiLowerChar);
    return result;
}

namespace {

// The code point that starts at `p`, when a valid sequence of exactly `available` bytes or fewer
// begins there; 0 with `*length` 0 otherwise.
char32_t decodeAt(const unsigned char* p, std::size_t available, std::size_t* length) noexcept
{
    std::size_t maximal = 0;
    *length = sequenceLength(p, available, &maximal);
    if (*length == 0) {
        return 0;
    }
    char32_t c = p[0] & (0xFF >> (*length + 1));
    for (std::size_t i = 1; i < *length; ++i) {
        c = (c << 6) | (p[i] & 0x3F);
    }
    return c;
}

} // namespace

std::string_view trimmedUnicode(std::string_view text) noexcept
{
    while (!text.empty()) {
        const auto first = static_cast<unsigned char>(text.front());
        if (first < 0x80) {
            if (!isAsciiSpace(static_cast<char>(first))) {
                break;
            }
            text.remove_prefix(1);
            continue;
        }
        std::size_t length = 0;
        const char32_t c = decodeAt(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &length);
        if (length == 0 || !isWhiteSpace(c)) {
            break;
        }
        text.remove_prefix(length);
    }
    while (!text.empty()) {
        const auto last = static_cast<unsigned char>(text.back());
        if (last < 0x80) {
            if (!isAsciiSpace(static_cast<char>(last))) {
                break;
            }
            text.remove_suffix(1);
            continue;
        }
        std::size_t start = text.size() - 1;
        while (start > 0 && text.size() - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
            --start;
        }
        std::size_t length = 0;
        const char32_t c =
            decodeAt(reinterpret_cast<const unsigned char*>(text.data() + start), text.size() - start, &length);
        if (length != text.size() - start || !isWhiteSpace(c)) {
            break;
        }
        text.remove_suffix(length);
    }
    return text;
}

bool isValidUtf8(std::string_view bytes) noexcept
{
    if (allAscii(bytes.data(), bytes.size())) {
        return true;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        std::size_t maximal = 0;
        const std::size_t length = sequenceLength(p + i, bytes.size() - i, &maximal);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::size_t utf8SequenceLength(std::string_view text) noexcept
{
    std::size_t maximal = 0;
    return text.empty() ? 0
                        : sequenceLength(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &maximal);
}

std::string repairedUtf8(std::string_view bytes)
{
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    static constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string result;
    result.reserve(bytes.size() + 8);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t maximal = 1;
        const std::size_t length = sequenceLength(p + i, bytes.size() - i, &maximal);
        if (length == 0) {
            result += replacement;
            i += maximal;
        } else {
            result.append(bytes.data() + i, length);
            i += length;
        }
    }
    return result;
}

std::string replacingAll(std::string_view text, std::string_view needle, std::string_view replacement)
{
    if (needle.empty()) {
        return std::string(text);
    }
    std::string result;
    std::size_t start = 0;
    while (true) {
        const std::size_t found = text.find(needle, start);
        if (found == std::string_view::npos) {
            result.append(text.substr(start));
            return result;
        }
        result.append(text.substr(start, found - start));
        result.append(replacement);
        start = found + needle.size();
    }
}

std::string_view nextField(std::string_view& rest) noexcept
{
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const std::size_t end = rest.find(' ');
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return field;
}

std::int64_t decimalSize(std::string_view digits) noexcept
{
    std::int64_t bytes = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9' || bytes > (std::numeric_limits<std::int64_t>::max() - 9) / 10) {
            return 0;
        }
        bytes = bytes * 10 + (c - '0');
    }
    return bytes;
}

} // namespace tarvo::engine
