// SPDX-License-Identifier: GPL-3.0-or-later

#include "AppLanguage.h"

#include "Catalog.h"
#include "engine/util/TextUtil.h"

#include <cstdlib>

namespace tarvo::engine {

namespace {

struct Entry
{
    std::string catalog;
    std::string raw;
};

// po/LINGUAS as the build read it: the catalogs' names, separated by colons.
#ifndef TARVO_LINGUAS
#error "TARVO_LINGUAS must name the catalogs of po/LINGUAS"
#endif

std::string languageOf(std::string_view code)
{
    return std::string(code.substr(0, code.find_first_of("_@")));
}

const std::vector<Entry>& entries()
{
    static const std::vector<Entry> all = [] {
        std::vector<Entry> list{{"", "en"}};
        const std::string_view linguas = TARVO_LINGUAS;
        std::size_t start = 0;
        while (start < linguas.size() && list.size() < 255) {
            const std::size_t end = std::min(linguas.find(':', start), linguas.size());
            if (end > start) {
                list.push_back({std::string(linguas.substr(start, end - start)), {}});
            }
            start = end + 1;
        }
        for (Entry& entry : list) {
            if (!entry.raw.empty()) {
                continue;
            }
            const std::string language = languageOf(entry.catalog);
            std::size_t sharing = 0;
            for (const Entry& other : list) {
                sharing += !other.catalog.empty() && languageOf(other.catalog) == language ? 1 : 0;
            }
            entry.raw = sharing == 1 ? language : entry.catalog;
        }
        return list;
    }();
    return all;
}

const std::vector<AppLanguage>& cases()
{
    static const std::vector<AppLanguage> all = [] {
        std::vector<AppLanguage> list;
        for (std::size_t i = 0; i < entries().size(); ++i) {
            list.push_back(AppLanguage::fromRaw(entries()[i].raw).value());
        }
        return list;
    }();
    return all;
}

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

std::span<const AppLanguage> AppLanguage::allCases()
{
    return cases();
}

std::optional<AppLanguage> AppLanguage::fromRaw(std::string_view raw)
{
    const std::vector<Entry>& all = entries();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].raw == raw || (!all[i].catalog.empty() && all[i].catalog == raw)) {
            return AppLanguage(static_cast<std::uint8_t>(i));
        }
    }
    return std::nullopt;
}

AppLanguage AppLanguage::matching(const std::vector<std::string>& preferredTags)
{
    if (preferredTags.empty()) {
        return english();
    }
    const std::string first = asciiLower(preferredTags.front());
    const std::string_view language = std::string_view(first).substr(0, first.find('-'));
    std::optional<AppLanguage> sameLanguage;
    for (const AppLanguage candidate : allCases()) {
        if (candidate.catalogName().empty()) {
            continue;
        }
        const std::string tag = tagFromLocaleName(candidate.catalogName());
        if (first == tag || first.starts_with(tag + "-")) {
            return candidate;
        }
        if (!sameLanguage && tag.substr(0, tag.find('-')) == language) {
            sameLanguage = candidate;
        }
    }
    return sameLanguage.value_or(english());
}

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

std::string_view AppLanguage::rawValue() const
{
    return entries()[m_index].raw;
}

std::string_view AppLanguage::catalogName() const
{
    return entries()[m_index].catalog;
}

std::string AppLanguage::displayName() const
{
    const Catalog& catalog = Catalog::of(*this);
    if (*this != english() && !catalog.translates(Text::languageName)) {
        return std::string(catalogName());
    }
    return std::string(catalog.text(Text::languageName));
}

} // namespace tarvo::engine
