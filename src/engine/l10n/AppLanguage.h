// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// One of the seven interface languages. Stored and exchanged as its raw value ("ru", "en", ...).
class AppLanguage
{
public:
    enum Value : std::uint8_t
    {
        russian,
        english,
        german,
        chinese,
        japanese,
        french,
        spanish,
    };

    constexpr AppLanguage(Value value) noexcept
        : m_value(value)
    {}
    constexpr operator Value() const noexcept { return m_value; }

    static constexpr std::array<AppLanguage, 7> allCases() noexcept
    {
        return {russian, english, german, chinese, japanese, french, spanish};
    }

    // Exactly one of the seven raw values, compared case-sensitively.
    static std::optional<AppLanguage> fromRaw(std::string_view raw);

    // The language of the first preferred language tag ("de-DE", "zh-Hant-TW"); English otherwise.
    static AppLanguage matching(const std::vector<std::string>& preferredTags);

    // The language of the user's environment: LANGUAGE, LC_ALL, LC_MESSAGES, LANG.
    static AppLanguage matchingSystem();

    // The user's preferred languages as tags ("de-de"), read from the environment in the order
    // gettext uses. "C", "POSIX" and nothing at all give an empty list.
    static std::vector<std::string> preferredFromEnvironment();

    std::string_view rawValue() const noexcept;
    // The language's own name, the same in every interface language.
    std::string_view displayName() const noexcept;

private:
    Value m_value;
};

} // namespace tarvo::engine
