// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"
#include "engine/l10n/L10n.h"
#include "engine/vocabulary/ArchiveNames.h"
#include "engine/vocabulary/NameFactory.h"

#include <gtest/gtest.h>

using namespace tarvo::engine;
using namespace tarvo::test;

TEST(ArchiveNames, StemSanitizedBaseAndSafeEntry)
{
    EXPECT_EQ(ArchiveNames::stem("/x/photos.TAR.GZ"), "photos");
    EXPECT_EQ(ArchiveNames::stem("/x/backup.tgz"), "backup");
    EXPECT_EQ(ArchiveNames::stem("/x/a.zip"), "a");
    EXPECT_EQ(ArchiveNames::stem("/x/set.part1.rar"), "set");
    EXPECT_EQ(ArchiveNames::stem("/x/README"), "README");
    EXPECT_EQ(ArchiveNames::stem("/x/notes.txt"), "notes");
    EXPECT_EQ(ArchiveNames::stem("/x/Фото.7z"), "Фото");

    EXPECT_EQ(ArchiveNames::sanitizedBase("  My/Files:2024.ZIP  "), "My-Files-2024");
    EXPECT_EQ(ArchiveNames::sanitizedBase("a//b\\c"), "a--b-c");
    EXPECT_EQ(ArchiveNames::sanitizedBase("x.tar.gz.zip"), "x.tar.gz");
    EXPECT_EQ(ArchiveNames::sanitizedBase("a.TGZ"), "a");
    EXPECT_EQ(ArchiveNames::sanitizedBase(".zip"), "");
    EXPECT_EQ(ArchiveNames::sanitizedBase("Report .zip"), "Report ");
    EXPECT_EQ(ArchiveNames::sanitizedBase("\u3000Отчёт\n"), "Отчёт");

    EXPECT_EQ(ArchiveNames::safeEntry("docs/a.txt"), "docs/a.txt");
    EXPECT_EQ(ArchiveNames::safeEntry(" docs/a.txt "), "docs/a.txt");
    EXPECT_EQ(ArchiveNames::safeEntry("./a.txt"), "./a.txt");
    EXPECT_EQ(ArchiveNames::safeEntry("a\\..\\b"), "a\\..\\b");
    for (const char* unsafe : {"/etc/passwd", "../x", "a/../b", "a//b", "folder/", "", "  ", ".."}) {
        EXPECT_EQ(ArchiveNames::safeEntry(unsafe), std::nullopt) << unsafe;
    }
}

TEST(NameFactory, FirstFreeNameCountingFromTwoAndNeverADanglingLink)
{
    TempDir dir;
    ScopedLanguage english(AppLanguage::english);
    writeFile(dir / "Archive.zip", "");
    writeFile(dir / "Archive 2.zip", "");
    EXPECT_EQ(NameFactory::uniqueFile(dir.path(), "Archive", "zip"), dir / "Archive 3.zip");
    EXPECT_EQ(NameFactory::uniqueFile(dir.path(), "   ", "zip"), dir / "Archive 3.zip");
    EXPECT_EQ(NameFactory::uniqueFile(dir.path(), "Report ", "zip"), dir / "Report.zip");

    writeFile(dir / "site.tar.gz", "");
    EXPECT_EQ(NameFactory::uniqueFile(dir.path(), "site", "tar.gz"), dir / "site 2.tar.gz");

    writeFile(dir / "photos", "");
    EXPECT_EQ(NameFactory::uniqueDirectory(dir.path(), "photos"), dir / "photos 2");
    std::filesystem::create_directory(dir / "docs");
    EXPECT_EQ(NameFactory::uniqueFile(dir.path(), "docs", ""), dir / "docs 2");

    L10n::setLanguage(AppLanguage::russian);
    EXPECT_EQ(NameFactory::uniqueFile(dir.path(), "", "zip"), dir / "Архив.zip");

    // Writing the new archive through a dangling link would create a file wherever it points.
    std::filesystem::create_symlink(dir / "elsewhere" / "target.zip", dir / "Notes.zip");
    std::filesystem::create_symlink(dir / "missing", dir / "Notes");
    EXPECT_EQ(NameFactory::uniqueFile(dir.path(), "Notes", "zip"), dir / "Notes 2.zip");
    EXPECT_EQ(NameFactory::uniqueDirectory(dir.path(), "Notes"), dir / "Notes 2");
}
