// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "AppLanguage.h"
#include "MoFile.h"
#include "PluralRule.h"
#include "Text.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// One language's translations of every Text, read once from its compiled gettext catalog
// (<prefix>/share/locale/<language>/LC_MESSAGES/tarvo.mo) and then looked up by the text alone.
class Catalog
{
public:
    // A catalog that translates nothing: every text reads in English.
    Catalog();
    explicit Catalog(std::optional<MoFile> file);

    // The text in this catalog's language; English when the catalog lacks it.
    std::string_view text(Text text) const;
    // The form of a plural text that goes with n, its "%1" not yet filled; English when the catalog
    // lacks it.
    std::string_view plural(Text text, unsigned long n) const;
    // Whether the catalog has a translation of the text (for a plural text: every form its rule needs).
    bool translates(Text text) const;

    // The catalog of a language, read at its first use and kept; English, and a language whose
    // catalog is missing or unsound, translate nothing.
    static const Catalog& of(AppLanguage language);
    // Where the catalog of a language is: the nearest share/locale above the running program that
    // holds it (installed, <prefix>/bin/../share/locale; in the build tree, the build's folder).
    static std::optional<std::filesystem::path> locate(std::string_view catalogName);

private:
    std::optional<MoFile> m_file;
    PluralRule m_rule;
    // By Text: the translation (a plural text's forms separated by NUL), or empty; views into m_file.
    std::vector<std::string_view> m_texts;
};

} // namespace tarvo::engine
