// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "AppLanguage.h"
#include "Text.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo::engine {

// The current interface language and the texts built in it. The language is read at the moment a
// text is built, so texts built after a change are in the new language.
class L10n
{
public:
    // The first read starts from AppLanguage::matchingSystem().
    static AppLanguage language() noexcept;
    static void setLanguage(AppLanguage language) noexcept;

    // The form of a text for the current language: Russian, English, or the catalog's
    // translation of the English form.
    static std::string localized(std::string_view russian, std::string_view english);
    static std::string text(Text text);

    static std::string extracting(std::string_view name);
    static std::string compressing(std::string_view name);
    static std::string testing(std::string_view name);
    static std::string made(std::string_view name);
    static std::string rarBundleMissing(std::string_view name);
    static std::string toolExited(std::string_view tool, std::int32_t status);
    static std::string progress(std::int64_t done, std::int64_t total);
};

// Sets the interface language for the lifetime of the guard and restores the previous one.
class ScopedLanguage
{
public:
    explicit ScopedLanguage(AppLanguage language) noexcept
        : m_previous(L10n::language())
    {
        L10n::setLanguage(language);
    }
    ~ScopedLanguage() { L10n::setLanguage(m_previous); }
    ScopedLanguage(const ScopedLanguage&) = delete;
    ScopedLanguage& operator=(const ScopedLanguage&) = delete;

private:
    AppLanguage m_previous;
};

} // namespace tarvo::engine
