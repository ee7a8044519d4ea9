// SPDX-License-Identifier: GPL-3.0-or-later

#include "Catalog.h"

#include "CatalogTables.h"

#include <unordered_map>

namespace tarvo::engine {

namespace {

using Lookup = std::unordered_map<std::string_view, std::string_view>;

Lookup build(AppLanguage language)
{
    Lookup lookup;
    const auto pairs = Catalog::table(language);
    lookup.reserve(pairs.size());
    for (const CatalogPair& pair : pairs) {
        lookup.emplace(pair.key, pair.translation);
    }
    return lookup;
}

// Each table becomes a hash map on its first use; Russian and English users never build one.
const Lookup& lookupFor(AppLanguage language)
{
    switch (language) {
    case AppLanguage::german: {
        static const Lookup german = build(language);
        return german;
    }
    case AppLanguage::chinese: {
        static const Lookup chinese = build(language);
        return chinese;
    }
    case AppLanguage::japanese: {
        static const Lookup japanese = build(language);
        return japanese;
    }
    case AppLanguage::french: {
        static const Lookup french = build(language);
        return french;
    }
    case AppLanguage::spanish: {
        static const Lookup spanish = build(language);
        return spanish;
    }
    case AppLanguage::russian:
    case AppLanguage::english:
        break;
    }
    static const Lookup none;
    return none;
}

} // namespace

std::string_view Catalog::text(std::string_view key, AppLanguage language)
{
    if (language == AppLanguage::russian || language == AppLanguage::english) {
        return key;
    }
    const Lookup& lookup = lookupFor(language);
    const auto found = lookup.find(key);
    return found == lookup.end() ? key : found->second;
}

std::span<const CatalogPair> Catalog::table(AppLanguage language)
{
    switch (language) {
    case AppLanguage::german:
        return germanTable();
    case AppLanguage::chinese:
        return chineseTable();
    case AppLanguage::japanese:
        return japaneseTable();
    case AppLanguage::french:
        return frenchTable();
    case AppLanguage::spanish:
        return spanishTable();
    case AppLanguage::russian:
    case AppLanguage::english:
        break;
    }
    return {};
}

} // namespace tarvo::engine
