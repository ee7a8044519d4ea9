// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/l10n/L10n.h"

#include "TestSupport.h"
#include "engine/l10n/AppLanguage.h"
#include "engine/l10n/Catalog.h"
#include "engine/l10n/MoFile.h"
#include "engine/l10n/RelativeTime.h"
#include "engine/l10n/Text.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/CompressionLevel.h"

#include <gtest/gtest.h>
#include <set>

using namespace tarvo::engine;
using namespace tarvo::test;

namespace {

std::string in(std::string_view language, Text text)
{
    ScopedLanguage scoped(languageNamed(language));
    return L10n::text(text);
}

// The placeholders of a line in order of appearance, sorted: a translation may move them, not
// lose, add or change one.
std::multiset<std::string> placeholders(std::string_view line)
{
    std::multiset<std::string> found;
    for (std::size_t at = line.find('%'); at != std::string_view::npos; at = line.find('%', at + 1)) {
        if (at + 1 < line.size()) {
            found.insert(std::string(line.substr(at, 2)));
        }
    }
    return found;
}

} // namespace

// The compiled catalogs of the build, as the program finds them above itself: a line missing, fuzzy
// (msgfmt leaves it out) or with other placeholders than the English fails here.
TEST(Catalog, EveryLanguageTranslatesEveryTextWithItsPlaceholders)
{
    ASSERT_GT(AppLanguage::allCases().size(), 1u) << "no catalog in po/LINGUAS";
    for (const AppLanguage language : AppLanguage::allCases()) {
        if (language == AppLanguage::english()) {
            continue;
        }
        ASSERT_TRUE(Catalog::locate(language.catalogName())) << "no compiled catalog " << language.catalogName();
        const Catalog& catalog = Catalog::of(language);
        for (std::size_t i = 0; i < kTextCount; ++i) {
            const Text text = static_cast<Text>(i);
            const TextSource& source = textSource(text);
            EXPECT_TRUE(catalog.translates(text)) << language.catalogName() << ": " << source.name;
            if (source.englishPlural.empty()) {
                EXPECT_EQ(placeholders(catalog.text(text)), placeholders(source.english))
                    << language.catalogName() << ": " << source.name;
                continue;
            }
            // Every form a rule may pick, for the numbers 0 to 200.
            for (unsigned long n = 0; n <= 200; ++n) {
                EXPECT_EQ(placeholders(catalog.plural(text, n)), placeholders(source.englishPlural))
                    << language.catalogName() << ": " << source.name << " for " << n;
            }
        }
    }
    // One row of each catalog, so that a catalog whose lines went to other texts shows.
    EXPECT_EQ(in("ru", Text::language), "Язык");
    EXPECT_EQ(in("en", Text::language), "Language");
    EXPECT_EQ(in("de", Text::compress), "Komprimieren");
    EXPECT_EQ(in("zh", Text::extract), "解压");
    EXPECT_EQ(in("ja", Text::moveYourFileHere), "ファイルをここにドロップ");
    EXPECT_EQ(in("fr", Text::rarlabError), "RARLAB a renvoyé une erreur.");
    EXPECT_EQ(in("es", Text::quitTarvo), "Salir de Tarvo");
    EXPECT_EQ(in("de", Text::licenseLine), "Lizenziert unter der GNU General Public License, Version 3 oder neuer.");

    // A catalog that is missing or unreadable reads in English, whole.
    const Catalog none(MoFile::read("/nonexistent/tarvo.mo"));
    EXPECT_EQ(none.text(Text::compress), "Compress");
    EXPECT_EQ(none.plural(Text::daysAgo, 1), "%1 day ago");
    EXPECT_EQ(none.plural(Text::daysAgo, 5), "%1 days ago");
    EXPECT_FALSE(none.translates(Text::compress));
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
        {languageNamed("ru"), "Распаковываю a.zip", "Готово: a.zip", "unzip завершилась с кодом 9.", "3 из 10"},
        {languageNamed("en"), "Extracting a.zip", "Ready: a.zip", "unzip exited with status 9.", "3 of 10"},
        {languageNamed("de"), "Entpacke a.zip", "Fertig: a.zip", "unzip wurde mit Code 9 beendet.", "3 von 10"},
        {languageNamed("zh"), "正在解压 a.zip", "完成：a.zip", "unzip 已退出，代码 9。", "3/10"},
        {languageNamed("ja"), "a.zip を展開中", "完了: a.zip", "unzip はコード 9 で終了しました。", "3/10"},
        {languageNamed("fr"), "Extraction de a.zip", "Terminé : a.zip", "unzip s'est terminé avec le code 9.",
         "3 sur 10"},
        {languageNamed("es"), "Extrayendo a.zip", "Listo: a.zip", "unzip finalizó con el código 9.", "3 de 10"},
    };
    for (const Row& row : rows) {
        ScopedLanguage scoped(row.language);
        EXPECT_EQ(L10n::extracting("a.zip"), row.extracting);
        EXPECT_EQ(L10n::made("a.zip"), row.made);
        EXPECT_EQ(L10n::toolExited("unzip", 9), row.exited);
        EXPECT_EQ(L10n::progress(3, 10), row.progress);
    }
    ScopedLanguage french(languageNamed("fr"));
    EXPECT_EQ(CompressionLevel(CompressionLevel::maximum).title(), "Maximale");
    // Arguments are put in once: a name holding "%2" stays as it is.
    EXPECT_EQ(L10n::toolExited("a%2b", 9), "a%2b s'est terminé avec le code 9.");
}

TEST(AppLanguage, RawValuesAndThePreferenceFromTheEnvironment)
{
    // English, then po/LINGUAS in its order; each language reads back from its raw value.
    const auto cases = AppLanguage::allCases();
    EXPECT_EQ(cases.front(), AppLanguage::english());
    EXPECT_EQ(cases.front().rawValue(), "en");
    for (AppLanguage language : cases) {
        EXPECT_EQ(AppLanguage::fromRaw(language.rawValue()), language);
        EXPECT_EQ(cases[language.index()], language);
    }
    // The stored "zh" is the catalog zh_CN, and is stored as "zh" again.
    EXPECT_EQ(languageNamed("zh").catalogName(), "zh_CN");
    EXPECT_EQ(AppLanguage::fromRaw("zh_CN"), languageNamed("zh"));
    EXPECT_EQ(AppLanguage::fromRaw("EN"), std::nullopt);
    EXPECT_EQ(AppLanguage::fromRaw(""), std::nullopt);
    // Each language's own name comes from its catalog.
    EXPECT_EQ(AppLanguage::english().displayName(), "English");
    EXPECT_EQ(languageNamed("de").displayName(), "Deutsch");
    EXPECT_EQ(languageNamed("zh").displayName(), "中文");
    EXPECT_EQ(AppLanguage::matching({"pt-BR", "de-DE"}), AppLanguage::english());
    EXPECT_EQ(AppLanguage::matching({"zh-Hant-TW"}), languageNamed("zh"));
    EXPECT_EQ(AppLanguage::matching({"ES-es"}), languageNamed("es"));
    EXPECT_EQ(AppLanguage::matching({"en-GB", "ru"}), AppLanguage::english());
    EXPECT_EQ(AppLanguage::matching({}), AppLanguage::english());

    ScopedEnv language("LANGUAGE", std::nullopt);
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv messages("LC_MESSAGES", std::nullopt);
    ScopedEnv lang("LANG", std::nullopt);
    EXPECT_EQ(AppLanguage::matchingSystem(), AppLanguage::english());
    ::setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(AppLanguage::matchingSystem(), languageNamed("de"));
    ::setenv("LC_MESSAGES", "fr_FR@euro", 1);
    EXPECT_EQ(AppLanguage::matchingSystem(), languageNamed("fr"));
    ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(AppLanguage::matchingSystem(), languageNamed("ja"));
    // LANGUAGE lists several in order, before the locale; only the first counts.
    ::setenv("LANGUAGE", "pt_BR:ru", 1);
    EXPECT_EQ(AppLanguage::preferredFromEnvironment(), (std::vector<std::string>{"pt-br", "ru", "ja-jp"}));
    EXPECT_EQ(AppLanguage::matchingSystem(), AppLanguage::english());
    ::setenv("LANGUAGE", "ru_RU:de", 1);
    EXPECT_EQ(AppLanguage::matchingSystem(), languageNamed("ru"));
    // An explicit C locale means untranslated, whatever LANGUAGE says.
    for (const char* plain : {"C", "POSIX", "C.UTF-8"}) {
        ::setenv("LC_ALL", plain, 1);
        EXPECT_EQ(AppLanguage::matchingSystem(), AppLanguage::english()) << plain;
    }
}

TEST(ArchiveError, MessagesFollowTheLanguageOfTheMoment)
{
    const ArchiveError wrong(ArchiveError::Case::wrongPassword);
    ScopedLanguage russian(languageNamed("ru"));
    EXPECT_EQ(wrong.errorDescription(), "Неверный пароль.");
    L10n::setLanguage(languageNamed("de"));
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
    EXPECT_EQ(ago(AppLanguage::english(), -5s), "just now"); // a clock set back
    EXPECT_EQ(ago(AppLanguage::english(), 59s), "just now");
    EXPECT_EQ(ago(AppLanguage::english(), 60s), "1 minute ago");
    EXPECT_EQ(ago(AppLanguage::english(), 2h + 59min), "2 hours ago");
    EXPECT_EQ(ago(AppLanguage::english(), 30h), "yesterday");
    EXPECT_EQ(ago(AppLanguage::english(), 24h * 6), "6 days ago");
    EXPECT_EQ(ago(AppLanguage::english(), 24h * 8), "last week");
    EXPECT_EQ(ago(AppLanguage::english(), 24h * 29), "4 weeks ago");
    EXPECT_EQ(ago(AppLanguage::english(), 24h * 45), "last month");
    EXPECT_EQ(ago(AppLanguage::english(), 24h * 400), "last year");
    EXPECT_EQ(ago(AppLanguage::english(), 24h * 800), "2 years ago");
    // Russian nouns take three forms after a number.
    EXPECT_EQ(ago(languageNamed("ru"), 21min), "21 минуту назад");
    EXPECT_EQ(ago(languageNamed("ru"), 3min), "3 минуты назад");
    EXPECT_EQ(ago(languageNamed("ru"), 12min), "12 минут назад");
    EXPECT_EQ(ago(languageNamed("ru"), 24h * 5), "5 дней назад");
    EXPECT_EQ(ago(languageNamed("de"), 24h * 3), "vor 3 Tagen");
    EXPECT_EQ(ago(languageNamed("zh"), 2h), "2小时前");
    EXPECT_EQ(ago(languageNamed("ja"), 24h * 30), "先月");
    EXPECT_EQ(ago(languageNamed("fr"), 1h), "il y a 1 heure");
    EXPECT_EQ(ago(languageNamed("es"), 24h), "ayer");
}
