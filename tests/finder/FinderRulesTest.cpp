#include "FinderRules.h"

#include "FinderTexts.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace tarvo::finder {
namespace {

using Paths = std::vector<std::string>;

TEST(FinderRules, ExtractKeepsZipRarAnd7zInAnyCaseInOrderAndRelativePathsBecomeAbsolute)
{
    const Paths selection{"/a/A.ZIP", "/a/x.tar.gz", "/a/b.Rar", "/a/y.tgz", "/a/.zip", "/a.7z/n", "/a/c.7Z"};
    EXPECT_EQ(forwardedPaths(FinderAction::extract, selection), (Paths{"/a/A.ZIP", "/a/b.Rar", "/a/c.7Z"}));
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

TEST(FinderRules, MenuIsRussianWhenTheFirstPreferredLanguageIsRussian)
{
    const std::tuple<const char*, const char*, bool> cases[] = {
        {nullptr, "ru_RU.UTF-8", true},  {nullptr, "ru", true},     {nullptr, "uk_UA.UTF-8", false},
        {nullptr, "en_RU.UTF-8", false}, {nullptr, nullptr, false}, {nullptr, "POSIX", false},
        {"de:ru", "ru_RU.UTF-8", false}, {"ru:en", "C", false},     {"ru:en", "en_US.UTF-8", true},
    };
    for (const auto& [languages, lang, russian] : cases) {
        const auto value = [](const char* v) { return v ? std::optional<std::string>(v) : std::nullopt; };
        test::ScopedEnv language("LANGUAGE", value(languages)), all("LC_ALL", {}), messages("LC_MESSAGES", {});
        test::ScopedEnv locale("LANG", value(lang));
        EXPECT_EQ(menuTitleForEnvironment(FinderAction::extract),
                  russian ? TARVO_FINDER_EXTRACT_TITLE_RU : TARVO_FINDER_EXTRACT_TITLE)
            << (languages ? languages : "-") << " " << (lang ? lang : "-");
    }
}

TEST(FinderRules, TarvoBesideTheHelperComesBeforeThePath)
{
    test::TempDir dir;
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::create_directories(dir / "helper");
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
