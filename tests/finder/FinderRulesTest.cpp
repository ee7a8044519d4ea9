// SPDX-License-Identifier: GPL-3.0-or-later

#include "finder/FinderRules.h"

#include "TestSupport.h"
#include "engine/l10n/AppLanguage.h"
#include "finder/FinderTexts.h"

#include <gtest/gtest.h>
#include <set>

namespace tarvo::finder {
namespace {

using Paths = std::vector<std::string>;

TEST(FinderRules, ExtractAndTestKeepZipRarAnd7zInAnyCaseInOrderAndRelativePathsBecomeAbsolute)
{
    for (const FinderAction action : {FinderAction::compress, FinderAction::extract, FinderAction::test}) {
        EXPECT_EQ(parseFinderAction(finderActionName(action)), action);
    }
    EXPECT_EQ(finderActionName(FinderAction::test), "test");
    EXPECT_EQ(parseFinderAction("Test"), std::nullopt);
    EXPECT_EQ(parseFinderAction(""), std::nullopt);

    const Paths selection{"/a/A.ZIP", "/a/x.tar.gz", "/a/b.Rar", "/a/y.tgz", "/a/.zip", "/a.7z/n", "/a/c.7Z"};
    EXPECT_EQ(forwardedPaths(FinderAction::extract, selection), (Paths{"/a/A.ZIP", "/a/b.Rar", "/a/c.7Z"}));
    EXPECT_EQ(forwardedPaths(FinderAction::test, selection), (Paths{"/a/A.ZIP", "/a/b.Rar", "/a/c.7Z"}));
    EXPECT_EQ(forwardedPaths(FinderAction::compress, selection), selection);
    EXPECT_EQ(absolutePaths({"a.zip", "./b c", "d/", "", "..", "/abs/./x"}, "/home/u/work"),
              (Paths{"/home/u/work/a.zip", "/home/u/work/b c", "/home/u/work/d", "/home/u", "/abs/./x"}));
    // Nemo's URIs: a tab or newline in a name stays inside its one argument.
    EXPECT_EQ(absolutePaths({"file:///d/a%09b%0A.ZIP", "file://localhost/d/%D1%8F%25", "file://host/x", "sftp://h/y",
                             "file:///nul%00", "file:///bad%4"},
                            "/w"),
              (Paths{"/d/a\tb\n.ZIP", "/d/я%"}));
}

TEST(FinderRules, SignalCarriesAtMost39999BytesOfValidUtf8)
{
    // Two paths and the newline between them: 19,999 + 1 + 19,999 bytes; "я" takes two bytes.
    const std::string half(19'999, 'p');
    EXPECT_TRUE(fitsInSignal({half, half}));
    EXPECT_FALSE(fitsInSignal({half, half + "p"}));
    EXPECT_TRUE(fitsInSignal({std::string(39'997, 'p') + "я"}));
    EXPECT_FALSE(fitsInSignal({std::string(39'998, 'p') + "я"}));
    EXPECT_FALSE(fitsInSignal({"/a/\xff.zip"}));
}

TEST(FinderRules, MenuIsInTheFirstPreferredLanguageWhenTarvoSpeaksIt)
{
    // The expected row of the titles: 0 English, 1 Russian, 2 German, 3 Chinese, 4 Japanese, 5 French.
    const std::tuple<const char*, const char*, int> cases[] = {
        {nullptr, "ru_RU.UTF-8", 1}, {nullptr, "ru", 1},       {nullptr, "uk_UA.UTF-8", 0},
        {nullptr, "en_RU.UTF-8", 0}, {nullptr, nullptr, 0},    {nullptr, "POSIX", 0},
        {"de:ru", "ru_RU.UTF-8", 2}, {"ru:en", "C", 0},        {"ru:en", "en_US.UTF-8", 1},
        {nullptr, "zh_TW.UTF-8", 3}, {"JA_JP:de", "de_DE", 4}, {"", "fr_CA", 5},
    };
    for (const auto& [languages, lang, row] : cases) {
        const auto value = [](const char* v) { return v ? std::optional<std::string>(v) : std::nullopt; };
        test::ScopedEnv language("LANGUAGE", value(languages)), all("LC_ALL", {}), messages("LC_MESSAGES", {});
        test::ScopedEnv locale("LANG", value(lang));
        const TarvoFinderTitles& titles = tarvo_finder_titles[row];
        EXPECT_EQ(menuTitleForEnvironment(FinderAction::compress), titles.compress);
        EXPECT_EQ(menuTitleForEnvironment(FinderAction::extract), titles.extract);
        EXPECT_EQ(menuTitleForEnvironment(FinderAction::test), titles.test)
            << (languages ? languages : "-") << " " << (lang ? lang : "-");
    }
    // Each of the application's seven languages has titles of its own.
    std::set<std::string_view> titles;
    for (const engine::AppLanguage language : engine::AppLanguage::allCases()) {
        titles.insert(menuTitle(FinderAction::test, {std::string(language.rawValue())}));
    }
    EXPECT_EQ(titles.size(), engine::AppLanguage::allCases().size());
    EXPECT_EQ(menuTitle(FinderAction::extract, {"de-at", "ru"}), "Mit Tarvo entpacken");
}

TEST(FinderRules, TarvoBesideTheHelperComesBeforeThePath)
{
    test::TempDir dir;
    test::writeScript(dir / "bin/tarvo", "exit 0");
    test::writeFile(dir / "helper/tarvo", "not executable");
    // A relative PATH entry is resolved: the launch must not depend on the working folder.
    EXPECT_EQ(locateApplication(dir / "helper", "/nonexistent::bin", dir.path()), dir / "bin/tarvo");
    test::writeScript(dir / "helper/tarvo", "exit 0");
    EXPECT_EQ(locateApplication(dir / "helper", "bin", dir.path()), dir / "helper/tarvo");
    EXPECT_EQ(locateApplication(dir / "none", "/nonexistent", dir.path()), std::nullopt);
}

} // namespace
} // namespace tarvo::finder
