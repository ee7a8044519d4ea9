// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// One of the interface languages: English, the language of the source, and one for each catalog
// that po/LINGUAS lists, in its order. Stored and exchanged as its raw value ("en", "de", "zh").
class AppLanguage
{
public:
    // English.
    constexpr AppLanguage() noexcept = default;
    static constexpr AppLanguage english() noexcept { return {}; }

    // English first, then the catalogs' languages.
    static std::span<const AppLanguage> allCases();

    // The language whose raw value is exactly `raw` (compared case-sensitively), or whose catalog
    // is named so ("zh_CN").
    static std::optional<AppLanguage> fromRaw(std::string_view raw);

    // The language of the first preferred language tag ("de-DE", "zh-Hant-TW"): the catalog named
    // exactly so, else the one of the same language; English otherwise.
    static AppLanguage matching(const std::vector<std::string>& preferredTags);

    // The language of the user's environment: LANGUAGE, LC_ALL, LC_MESSAGES, LANG.
    static AppLanguage matchingSystem();

    // The user's preferred languages as tags ("de-de"), read from the environment in the order
    // gettext uses. "C", "POSIX" and nothing at all give an empty list.
    static std::vector<std::string> preferredFromEnvironment();

    // "en", or the catalog's name without its region when no other catalog shares the language
    // ("zh" for zh_CN), else the catalog's name.
    std::string_view rawValue() const;
    // The catalog's name as in po/LINGUAS ("zh_CN"); empty for English.
    std::string_view catalogName() const;
    // The language's own name, the same in every interface language: its catalog's translation of
    // "English" (the languageName text), or the catalog's name when the catalog is missing.
    std::string displayName() const;
    // The position in allCases().
    std::size_t index() const noexcept { return m_index; }

    friend bool operator==(AppLanguage, AppLanguage) = default;

private:
    explicit constexpr AppLanguage(std::uint8_t index) noexcept
        : m_index(index)
    {}

    std::uint8_t m_index = 0;
};

} // namespace tarvo::engine
