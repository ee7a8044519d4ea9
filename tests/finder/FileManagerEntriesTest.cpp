#include "FileManagerEntries.h"

#include "FinderTexts.h"
#include "TestSupport.h"

#include <glib.h>
#include <gtest/gtest.h>

namespace tarvo::finder {
namespace {

namespace fs = std::filesystem;

// The Exec value's arguments, read as Nemo reads them (and Dolphin, but for "%%"): the key file's
// escapes first, then shell-like splitting.
std::vector<std::string> execArguments(const EntryFile& entry)
{
    GKeyFile* file = g_key_file_new();
    std::vector<std::string> arguments;
    char* exec = nullptr;
    char** argv = nullptr;
    const char* group = entry.relativePath.extension() == ".desktop" ? nullptr : "Nemo Action";
    if (g_key_file_load_from_data(file, entry.content.c_str(), -1, G_KEY_FILE_NONE, nullptr)) {
        gchar** groups = g_key_file_get_groups(file, nullptr);
        exec = g_key_file_get_string(file, group ? group : groups[1], "Exec", nullptr);
        g_strfreev(groups);
    }
    if (exec && g_shell_parse_argv(exec, nullptr, &argv, nullptr)) {
        arguments.assign(argv, argv + g_strv_length(argv));
    }
    g_strfreev(argv);
    g_free(exec);
    g_key_file_free(file);
    return arguments;
}

TEST(FileManagerEntries, EachEntryRunsTheHelperWithItsActionEvenFromAnUnusualPath)
{
    for (const std::string helper : {"/usr/bin/tarvo-finder", "/opt/My \"Tools\" 50% off/$HOME `id` a\\b's/t"}) {
        for (const EntryFile& entry : fileManagerEntries(helper)) {
            SCOPED_TRACE(entry.relativePath.string());
            const bool extract = entry.relativePath.string().find("extract") != std::string::npos;
            const bool desktop = entry.relativePath.extension() == ".desktop";
            EXPECT_EQ(entry.executable, desktop);
            std::vector<std::string> arguments = execArguments(entry);
            ASSERT_EQ(arguments.size(), 3u);
            // Desktop entries write a literal "%" as "%%"; Nemo knows no such escape.
            if (const std::size_t p = arguments[0].find("%%"); desktop && p != std::string::npos) {
                arguments[0].erase(p, 1);
            }
            // Nemo gets URIs, which its whitespace splitting cannot break.
            EXPECT_EQ(arguments,
                      (std::vector<std::string>{helper, extract ? "extract" : "compress", desktop ? "%F" : "%U"}));
            const std::string names =
                extract ? "\nName=" TARVO_FINDER_EXTRACT_TITLE "\nName[ru]=" TARVO_FINDER_EXTRACT_TITLE_RU
                        : "\nName=" TARVO_FINDER_COMPRESS_TITLE "\nName[ru]=" TARVO_FINDER_COMPRESS_TITLE_RU;
            EXPECT_NE(entry.content.find(names + "\n"), std::string::npos);
        }
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
              (std::vector<std::string>{"com.tarvo.compress.desktop", "com.tarvo.extract.desktop"}));
    test::writeFile(home / "file", "");
    EXPECT_THROW(installForUser(home / "file", "/usr/bin/tarvo-finder"), fs::filesystem_error);
}

} // namespace
} // namespace tarvo::finder
