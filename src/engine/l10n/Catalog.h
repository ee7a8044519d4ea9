// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "AppLanguage.h"

#include <span>
#include <string_view>

namespace tarvo::engine {

struct CatalogPair
{
    std::string_view key;
    std::string_view translation;
};

// The translations of the English texts into the five table languages.
class Catalog
{
public:
    // The translation of `key` into `language`. Russian and English, and keys the table lacks,
    // give the key itself.
    static std::string_view text(std::string_view key, AppLanguage language);

    // The table of a language in its stored order; empty for Russian and English.
    static std::span<const CatalogPair> table(AppLanguage language);
};

} // namespace tarvo::engine
