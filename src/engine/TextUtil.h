#pragma once

#include <string>
#include <string_view>

namespace tarvo::engine {

std::string asciiLower(std::string_view text);

// Case-insensitive (ASCII) tests that allocate nothing.
bool equalsIgnoringCaseText(std::string_view a, std::string_view b) noexcept;
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) noexcept;
bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) noexcept;
bool containsIgnoringCase(std::string_view text, std::string_view needle) noexcept;

// Removes Unicode white space and line breaks (the set of Unicode's White_Space property) from
// both ends of UTF-8 text.
std::string_view trimmed(std::string_view text) noexcept;

// Valid UTF-8 is returned unchanged; every invalid sequence becomes U+FFFD.
std::string repairedUtf8(std::string_view bytes);
bool isValidUtf8(std::string_view bytes) noexcept;

// Every occurrence of `needle` replaced (literally, case-sensitively).
std::string replacingAll(std::string_view text, std::string_view needle, std::string_view replacement);

} // namespace tarvo::engine
