// SPDX-License-Identifier: GPL-3.0-or-later

#include "finder/FileManagerEntries.h"

#include "TestSupport.h"
#include "finder/FinderTexts.h"

#include <glib.h>
#include <gtest/gtest.h>

namespace tarvo::finder {
namespace {

namespace fs = std::filesystem;

// An entry read as Nemo reads it (and Dolphin, but for "%%"): the action's group of the key file.
struct ReadEntry
{
    explicit ReadEntry(const EntryFile& entry)
    {
        if (g_key_file_load_from_data(file, entry.content.c_str(), -1, G_KEY_FILE_KEEP_TRANSLATIONS, nullptr)) {
            gchar** groups = g_key_file_get_groups(file, nullptr);
            if (entry.relativePath.extension() != ".desktop") {
                group = "Nemo Action";
            } else if (groups[0] != nullptr && groups[1] != nullptr) {
                group = groups[1];
            }
            g_strfreev(groups);
        }
    }
    ~ReadEntry() { g_key_file_free(file); }
    ReadEntry(const ReadEntry&) = delete;
    ReadEntry& operator=(const ReadEntry&) = delete;

    // A value in one locale ("" for the untranslated one), empty when there is none.
    std::string value(const char* key, const char* locale = "") const
    {
        char* text = *locale ? g_key_file_get_locale_string(file, group.c_str(), key, locale, nullptr)
                             : g_key_file_get_string(file, group.c_str(), key, nullptr);
        std::string result = text ? text : "";
        g_free(text);
        return result;
    }

    // The Exec value's arguments: the key file's escapes first, then shell-like splitting.
    std::vector<std::string> execArguments() const
    {
        std::vector<std::string> arguments;
        char** argv = nullptr;
        if (g_shell_parse_argv(value("Exec").c_str(), nullptr, &argv, nullptr)) {
            arguments.assign(argv, argv + g_strv_length(argv));
        }
        g_strfreev(argv);
        return arguments;
    }

    GKeyFile* file = g_key_file_new();
    std::string group;
};

TEST(FileManagerEntries, EachEntryRunsTheHelperWithItsActionEvenFromAnUnusualPathUnderItsTitles)
{
    for (const std::string helper : {"/usr/bin/tarvo-finder", "/opt/My \"Tools\" 50% off/$HOME `id` a\\b's/t"}) {
        std::vector<std::string> paths;
        for (const EntryFile& entry : fileManagerEntries(helper)) {
            SCOPED_TRACE(entry.relativePath.string());
            paths.push_back(entry.relativePath.string());
            // "com.tarvo.ACTION.desktop"
            const std::string action = entry.relativePath.stem().extension().string().substr(1);
            const bool desktop = entry.relativePath.extension() == ".desktop";
            EXPECT_EQ(entry.executable, desktop);
            const ReadEntry read(entry);
            std::vector<std::string> arguments = read.execArguments();
            ASSERT_EQ(arguments.size(), 3u);
            // Desktop entries write a literal "%" as "%%"; Nemo knows no such escape.
            if (const std::size_t p = arguments[0].find("%%"); desktop && p != std::string::npos) {
                arguments[0].erase(p, 1);
            }
            // Nemo gets URIs, which its whitespace splitting cannot break.
            EXPECT_EQ(arguments, (std::vector<std::string>{helper, action, desktop ? "%F" : "%U"}));
            // The same words as the Nautilus module's, in each of the seven languages.
            for (const TarvoFinderTitles& titles : tarvo_finder_titles) {
                const char* title = action == "compress"  ? titles.compress
                                    : action == "extract" ? titles.extract
                                                          : titles.test;
                EXPECT_EQ(read.value("Name", titles.locale), title) << titles.locale;
            }
        }
        EXPECT_EQ(paths,
                  (std::vector<std::string>{
                      "kio/servicemenus/com.tarvo.compress.desktop", "kio/servicemenus/com.tarvo.extract.desktop",
                      "kio/servicemenus/com.tarvo.test.desktop", "nemo/actions/com.tarvo.compress.nemo_action",
                      "nemo/actions/com.tarvo.extract.nemo_action", "nemo/actions/com.tarvo.test.nemo_action"}));
    }
}

TEST(FileManagerEntries, InstallForUserReplacesTheFilesWithTheirModes)
{
    test::TempDir home;
    const fs::path dataHome = home / "data";
    // An earlier version's file, read-only: replaced, not appended to.
    fs::create_directories(dataHome / "kio/servicemenus");
    test::writeFile(dataHome / "kio/servicemenus/com.tarvo.compress.desktop", "old");
    fs::permissions(dataHome / "kio/servicemenus/com.tarvo.compress.desktop", fs::perms::owner_read);

    const std::vector<fs::path> written = installForUser(dataHome, "/usr/bin/tarvo-finder");
    const std::vector<EntryFile> entries = fileManagerEntries("/usr/bin/tarvo-finder");
    ASSERT_EQ(written.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(written[i], dataHome / entries[i].relativePath);
        EXPECT_EQ(test::readFile(written[i]), entries[i].content);
        EXPECT_EQ(fs::status(written[i]).permissions() & fs::perms::all,
                  fs::perms(entries[i].executable ? 0755 : 0644));
    }
    // No temporary file is left behind.
    EXPECT_EQ(test::namesIn(dataHome / "kio/servicemenus"),
              (std::vector<std::string>{"com.tarvo.compress.desktop", "com.tarvo.extract.desktop",
                                        "com.tarvo.test.desktop"}));
    test::writeFile(home / "file", "");
    EXPECT_THROW(installForUser(home / "file", "/usr/bin/tarvo-finder"), fs::filesystem_error);
}

} // namespace
} // namespace tarvo::finder
