// SPDX-License-Identifier: GPL-3.0-or-later

#include "AppLanguage.h"

#include "engine/util/TextUtil.h"

#include <cstdlib>

namespace tarvo::engine {

std::optional<AppLanguage> AppLanguage::fromRaw(std::string_view raw)
{
    for (AppLanguage language : allCases()) {
        if (language.rawValue() == raw) {
            return language;
        }
    }
    return std::nullopt;
}

AppLanguage AppLanguage::matching(const std::vector<std::string>& preferredTags)
{
    const std::string first = preferredTags.empty() ? std::string("en") : asciiLower(preferredTags.front());
    static constexpr std::pair<std::string_view, Value> prefixes[] = {
        {"ru", russian}, {"de", german}, {"zh", chinese}, {"ja", japanese}, {"fr", french}, {"es", spanish},
    };
    for (const auto& [prefix, language] : prefixes) {
        if (first.starts_with(prefix)) {
            return language;
        }
    }
    return english;
}

namespace {

// "de_DE.UTF-8@euro" -> "de-de"; "C" and "POSIX" name no language.
std::string tagFromLocaleName(std::string_view name)
{
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return {};
    }
    std::string tag = asciiLower(name);
    for (char& c : tag) {
        if (c == '_') {
            c = '-';
        }
    }
    return tag;
}

std::string_view environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

} // namespace

std::vector<std::string> AppLanguage::preferredFromEnvironment()
{
    // As gettext does: LC_ALL beats LC_MESSAGES beats LANG, and LANGUAGE (a list) goes before them
    // unless the locale is explicitly "C", which users set to get untranslated output.
    std::string_view locale = environment("LC_ALL");
    if (locale.empty()) {
        locale = environment("LC_MESSAGES");
    }
    if (locale.empty()) {
        locale = environment("LANG");
    }
    std::vector<std::string> tags;
    const std::string localeTag = tagFromLocaleName(locale);
    const std::string_view list = environment("LANGUAGE");
    const bool plainC = !locale.empty() && localeTag.empty();
    if (!list.empty() && !plainC) {
        std::size_t start = 0;
        while (start <= list.size()) {
            const std::size_t end = std::min(list.find(':', start), list.size());
            if (std::string tag = tagFromLocaleName(list.substr(start, end - start)); !tag.empty()) {
                tags.push_back(std::move(tag));
            }
            start = end + 1;
        }
    }
    if (!localeTag.empty()) {
        tags.push_back(localeTag);
    }
    return tags;
}

AppLanguage AppLanguage::matchingSystem()
{
    return matching(preferredFromEnvironment());
}

std::string_view AppLanguage::rawValue() const noexcept
{
    switch (m_value) {
    case russian:
        return "ru";
    case english:
        return "en";
    case german:
        return "de";
    case chinese:
        return "zh";
    case japanese:
        return "ja";
    case french:
        return "fr";
    case spanish:
        return "es";
    }
    return "en";
}

std::string_view AppLanguage::displayName() const noexcept
{
    switch (m_value) {
    case russian:
        return "Русский";
    case english:
        return "English";
    case german:
        return "Deutsch";
    case chinese:
        return "中文";
    case japanese:
        return "日本語";
    case french:
        return "Français";
    case spanish:
        return "Español";
    }
    return "English";
}

} // namespace tarvo::engine
