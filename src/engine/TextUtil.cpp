#include "TextUtil.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tarvo::engine {

namespace {

constexpr char lower(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

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
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        if (word & 0x8080808080808080ULL) {
            return false;
        }
    }
    for (; i < size; ++i) {
        if (static_cast<unsigned char>(data[i]) & 0x80) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string asciiLower(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lower);
    return result;
}

bool equalsIgnoringCaseText(std::string_view a, std::string_view b) noexcept
{
    return equalIgnoringCase(a, b);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) noexcept
{
    return text.size() >= prefix.size() && equalIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) noexcept
{
    return text.size() >= suffix.size() && equalIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

bool containsIgnoringCase(std::string_view text, std::string_view needle) noexcept
{
    if (needle.empty()) {
        return true;
    }
    for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
        if (equalIgnoringCase(text.substr(i, needle.size()), needle)) {
            return true;
        }
    }
    return false;
}

std::string_view trimmed(std::string_view text) noexcept
{
    // Leading.
    while (!text.empty()) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        if (p[0] < 0x80) {
            if (!isWhiteSpace(p[0])) {
                break;
            }
            text.remove_prefix(1);
            continue;
        }
        std::size_t maximal = 0;
        const std::size_t length = sequenceLength(p, text.size(), &maximal);
        if (length == 0) {
            break;
        }
        char32_t c = p[0] & (0xFF >> (length + 1));
        for (std::size_t i = 1; i < length; ++i) {
            c = (c << 6) | (p[i] & 0x3F);
        }
        if (!isWhiteSpace(c)) {
            break;
        }
        text.remove_prefix(length);
    }
    // Trailing.
    while (!text.empty()) {
        const auto last = static_cast<unsigned char>(text.back());
        if (last < 0x80) {
            if (!isWhiteSpace(last)) {
                break;
            }
            text.remove_suffix(1);
            continue;
        }
        std::size_t start = text.size() - 1;
        while (start > 0 && text.size() - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
            --start;
        }
        const auto* p = reinterpret_cast<const unsigned char*>(text.data() + start);
        std::size_t maximal = 0;
        const std::size_t length = sequenceLength(p, text.size() - start, &maximal);
        if (length != text.size() - start) {
            break;
        }
        char32_t c = p[0] & (0xFF >> (length + 1));
        for (std::size_t i = 1; i < length; ++i) {
            c = (c << 6) | (p[i] & 0x3F);
        }
        if (!isWhiteSpace(c)) {
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

} // namespace tarvo::engine
