// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/l10n/L10n.h"

#include "TestSupport.h"
#include "engine/l10n/AppLanguage.h"
#include "engine/l10n/Catalog.h"
#include "engine/l10n/RelativeTime.h"
#include "engine/l10n/Text.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/CompressionLevel.h"

#include <gtest/gtest.h>
#include <set>

using namespace tarvo::engine;
using namespace tarvo::test;

namespace {

constexpr AppLanguage kTableLanguages[] = {AppLanguage::german, AppLanguage::chinese, AppLanguage::japanese,
                                           AppLanguage::french, AppLanguage::spanish};

std::string in(AppLanguage language, Text text)
{
    ScopedLanguage scoped(language);
    return L10n::text(text);
}

} // namespace

TEST(Catalog, EveryTextIsTranslatedInOrderInEveryTable)
{
    std::set<std::string_view> englishForms;
    for (std::size_t i = 0; i < kTextCount; ++i) {
        const TextForms both = forms(static_cast<Text>(i));
        EXPECT_FALSE(both.russian.empty()) << both.english;
        EXPECT_FALSE(both.english.empty()) << i;
        EXPECT_TRUE(englishForms.insert(both.english).second) << "duplicate text " << both.english;
    }
    for (AppLanguage language : kTableLanguages) {
        const auto table = Catalog::table(language);
        ASSERT_EQ(table.size(), kTextCount) << language.rawValue();
        for (std::size_t i = 0; i < table.size(); ++i) {
            EXPECT_EQ(table[i].key, forms(static_cast<Text>(i)).english) << language.rawValue() << " row " << i;
            EXPECT_FALSE(table[i].translation.empty()) << table[i].key;
        }
        // A key that no table holds (a file name, the product name) reads the same everywhere.
        EXPECT_EQ(Catalog::text("holiday.jpg", language), "holiday.jpg");
        ScopedLanguage scoped(language);
        EXPECT_EQ(L10n::localized("Tarvo", "Tarvo"), "Tarvo");
    }

    // One row of each table, so that a table shifted against the texts shows.
    EXPECT_EQ(in(AppLanguage::russian, Text::language), "Язык");
    EXPECT_EQ(in(AppLanguage::english, Text::language), "Language");
    EXPECT_EQ(in(AppLanguage::german, Text::compress), "Komprimieren");
    EXPECT_EQ(in(AppLanguage::chinese, Text::extract), "解压");
    EXPECT_EQ(in(AppLanguage::japanese, Text::moveYourFileHere), "ファイルをここにドロップ");
    EXPECT_EQ(in(AppLanguage::french, Text::rarlabError), "RARLAB a renvoyé une erreur.");
    EXPECT_EQ(in(AppLanguage::spanish, Text::quitTarvo), "Salir de Tarvo");
}

TEST(L10n, FormattedMessagesInEveryLanguage)
{
    struct Row
    {
        AppLanguage language;
        const char* extracting;
        const char* made;
        const char* exited;
        const char* progress;
    };
    const Row rows[] = {
        {AppLanguage::russian, "Распаковываю a.zip", "Готово: a.zip", "unzip завершилась с кодом 9.", "3 из 10"},
        {AppLanguage::english, "Extracting a.zip", "Ready: a.zip", "unzip exited with status 9.", "3 of 10"},
        {AppLanguage::german, "Entpacke a.zip", "Fertig: a.zip", "unzip wurde mit Code 9 beendet.", "3 von 10"},
        {AppLanguage::chinese, "正在解压 a.zip", "完成：a.zip", "unzip 已退出，代码 9。", "3/10"},
        {AppLanguage::japanese, "a.zip を展開中", "完了: a.zip", "unzip はコード 9 で終了しました。", "3/10"},
        {AppLanguage::french, "Extraction de a.zip", "Terminé : a.zip", "unzip s'est terminé avec le code 9.",
         "3 sur 10"},
        {AppLanguage::spanish, "Extrayendo a.zip", "Listo: a.zip", "unzip finalizó con el código 9.", "3 de 10"},
    };
    for (const Row& row : rows) {
        ScopedLanguage scoped(row.language);
        EXPECT_EQ(L10n::extracting("a.zip"), row.extracting);
        EXPECT_EQ(L10n::made("a.zip"), row.made);
        EXPECT_EQ(L10n::toolExited("unzip", 9), row.exited);
        EXPECT_EQ(L10n::progress(3, 10), row.progress);
    }
    ScopedLanguage french(AppLanguage::french);
    EXPECT_EQ(CompressionLevel(CompressionLevel::maximum).title(), "Maximale");
}

TEST(AppLanguage, RawValuesAndThePreferenceFromTheEnvironment)
{
    for (AppLanguage language : AppLanguage::allCases()) {
        EXPECT_EQ(AppLanguage::fromRaw(language.rawValue()), language);
    }
    EXPECT_EQ(AppLanguage::fromRaw("EN"), std::nullopt);
    EXPECT_EQ(AppLanguage::matching({"pt-BR", "de-DE"}), AppLanguage::english);
    EXPECT_EQ(AppLanguage::matching({"zh-Hant-TW"}), AppLanguage::chinese);
    EXPECT_EQ(AppLanguage::matching({"ES-es"}), AppLanguage::spanish);

    ScopedEnv language("LANGUAGE", std::nullopt);
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv messages("LC_MESSAGES", std::nullopt);
    ScopedEnv lang("LANG", std::nullopt);
    EXPECT_EQ(AppLanguage::matchingSystem(), AppLanguage::english);
    ::setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(AppLanguage::matchingSystem(), AppLanguage::german);
    ::setenv("LC_MESSAGES", "fr_FR@euro", 1);
    EXPECT_EQ(AppLanguage::matchingSystem(), AppLanguage::french);
    ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(AppLanguage::matchingSystem(), AppLanguage::japanese);
    // LANGUAGE lists several in order, before the locale; only the first counts.
    ::setenv("LANGUAGE", "pt_BR:ru", 1);
    EXPECT_EQ(AppLanguage::preferredFromEnvironment(), (std::vector<std::string>{"pt-br", "ru", "ja-jp"}));
    EXPECT_EQ(AppLanguage::matchingSystem(), AppLanguage::english);
    ::setenv("LANGUAGE", "ru_RU:de", 1);
    EXPECT_EQ(AppLanguage::matchingSystem(), AppLanguage::russian);
    // An explicit C locale means untranslated, whatever LANGUAGE says.
    for (const char* plain : {"C", "POSIX", "C.UTF-8"}) {
        ::setenv("LC_ALL", plain, 1);
        EXPECT_EQ(AppLanguage::matchingSystem(), AppLanguage::english) << plain;
    }
}

TEST(ArchiveError, MessagesFollowTheLanguageOfTheMoment)
{
    const ArchiveError wrong(ArchiveError::Case::wrongPassword);
    ScopedLanguage russian(AppLanguage::russian);
    EXPECT_EQ(wrong.errorDescription(), "Неверный пароль.");
    L10n::setLanguage(AppLanguage::german);
    EXPECT_EQ(wrong.errorDescription(), "Falsches Passwort.");

    // A tool's own output is its message, untranslated; without output the status speaks.
    const auto silent = ArchiveError::toolFailed("zip", 18, "");
    EXPECT_EQ(silent.errorDescription(), "zip wurde mit Code 18 beendet.");
    const auto spoken = ArchiveError::toolFailed("zip", 18, "zip error: Nothing to do!");
    EXPECT_EQ(spoken.errorDescription(), "zip error: Nothing to do!");

    EXPECT_EQ(silent, ArchiveError::toolFailed("zip", 18, ""));
    EXPECT_NE(silent, ArchiveError::toolFailed("zip", 12, ""));
    EXPECT_STREQ(spoken.what(), "toolFailed(tool: \"zip\", status: 18, message: \"zip error: Nothing to do!\")");
}

TEST(RelativeTime, NamesHowLongAgoInEveryLanguage)
{
    using namespace std::chrono_literals;
    const auto ago = [](AppLanguage language, std::chrono::seconds elapsed) {
        ScopedLanguage scoped(language);
        return RelativeTime::ago(elapsed);
    };
    EXPECT_EQ(ago(AppLanguage::english, -5s), "just now"); // a clock set back
    EXPECT_EQ(ago(AppLanguage::english, 59s), "just now");
    EXPECT_EQ(ago(AppLanguage::english, 60s), "1 minute ago");
    EXPECT_EQ(ago(AppLanguage::english, 2h + 59min), "2 hours ago");
    EXPECT_EQ(ago(AppLanguage::english, 30h), "yesterday");
    EXPECT_EQ(ago(AppLanguage::english, 24h * 6), "6 days ago");
    EXPECT_EQ(ago(AppLanguage::english, 24h * 8), "last week");
    EXPECT_EQ(ago(AppLanguage::english, 24h * 29), "4 weeks ago");
    EXPECT_EQ(ago(AppLanguage::english, 24h * 45), "last month");
    EXPECT_EQ(ago(AppLanguage::english, 24h * 400), "last year");
    EXPECT_EQ(ago(AppLanguage::english, 24h * 800), "2 years ago");
    // Russian nouns take three forms after a number.
    EXPECT_EQ(ago(AppLanguage::russian, 21min), "21 минуту назад");
    EXPECT_EQ(ago(AppLanguage::russian, 3min), "3 минуты назад");
    EXPECT_EQ(ago(AppLanguage::russian, 12min), "12 минут назад");
    EXPECT_EQ(ago(AppLanguage::russian, 24h * 5), "5 дней назад");
    EXPECT_EQ(ago(AppLanguage::german, 24h * 3), "vor 3 Tagen");
    EXPECT_EQ(ago(AppLanguage::chinese, 2h), "2小时前");
    EXPECT_EQ(ago(AppLanguage::japanese, 24h * 30), "先月");
    EXPECT_EQ(ago(AppLanguage::french, 1h), "il y a 1 heure");
    EXPECT_EQ(ago(AppLanguage::spanish, 24h), "ayer");
}
