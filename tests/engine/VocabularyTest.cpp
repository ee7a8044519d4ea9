// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/vocabulary/ArchiveFormat.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/DropIntent.h"
#include "engine/vocabulary/JobKind.h"

#include <gtest/gtest.h>

using namespace tarvo::engine;

TEST(Vocabulary, KindsByFileNameFormatsByExactRawValuesAndWhatADropMeans)
{
    EXPECT_EQ(ArchiveKind::from("/x/Photos.ZIP"), ArchiveKind::zip);
    EXPECT_EQ(ArchiveKind::from("/x/site.tgz"), ArchiveKind::tarGz);
    EXPECT_EQ(ArchiveKind::from("/x/set.part2.rar"), ArchiveKind::rar);
    EXPECT_EQ(ArchiveKind::from("/x/folder.7z/"), ArchiveKind::sevenZip);
    EXPECT_EQ(ArchiveKind::from("/x/dump.gz"), ArchiveKind::gzip);
    EXPECT_EQ(ArchiveKind::from("/x/dump.tar"), ArchiveKind::tar);
    EXPECT_EQ(ArchiveKind::from("/x/src.Tar.Xz"), ArchiveKind::tarXz);
    EXPECT_EQ(ArchiveKind::from("/x/src.tar.bz2"), ArchiveKind::tarBz2);
    EXPECT_EQ(ArchiveKind::from("/x/src.tbz"), ArchiveKind::tarBz2);
    EXPECT_EQ(ArchiveKind::from("/x/src.tzst"), ArchiveKind::tarZst);
    EXPECT_EQ(ArchiveKind::from("/x/notes.txt.zst"), ArchiveKind::zstd);
    EXPECT_EQ(ArchiveKind::from("/x/app.JAR"), ArchiveKind::jar);
    EXPECT_EQ(ArchiveKind::from("/x/.xz"), std::nullopt);
    EXPECT_EQ(ArchiveKind(ArchiveKind::zipx).format(), ArchiveFormat::zip);
    EXPECT_EQ(ArchiveKind(ArchiveKind::xz).format(), ArchiveFormat::tarGz);
    EXPECT_EQ(ArchiveKind(ArchiveKind::tarBz2).titleBeyondFormat(), "tar.bz2");
    EXPECT_EQ(ArchiveKind(ArchiveKind::tarGz).titleBeyondFormat(), "");
    EXPECT_EQ(ArchiveKind::from("/x/README"), std::nullopt);
    EXPECT_EQ(ArchiveKind::from("/x.zip/README"), std::nullopt);
    EXPECT_EQ(ArchiveKind::from("/x/zip"), std::nullopt);
    EXPECT_EQ(ArchiveKind(ArchiveKind::sevenZip).format(), ArchiveFormat::sevenZip);

    EXPECT_EQ(ArchiveFormat::fromRaw("tar.gz"), ArchiveFormat::tarGz);
    EXPECT_EQ(ArchiveFormat::fromRaw("7z"), ArchiveFormat::sevenZip);
    for (const char* wrong : {"targz", "TAR.GZ", "tgz", "ZIP", ""}) {
        EXPECT_EQ(ArchiveFormat::fromRaw(wrong), std::nullopt) << wrong;
    }
    std::string titles;
    for (ArchiveFormat format : ArchiveFormat::allCases()) {
        EXPECT_EQ(ArchiveFormat::fromRaw(format.rawValue()), format);
        titles += std::string(format.title()) + " ";
    }
    EXPECT_EQ(titles, "ZIP RAR 7Z tar.gz ");
    EXPECT_EQ(JobKind::fromRaw("extract"), JobKind::extract);
    EXPECT_EQ(JobKind::fromRaw("Extract"), std::nullopt);
    // Stored raw in the history: an edit's record reads back as one.
    EXPECT_EQ(JobKind::fromRaw(JobKind(JobKind::edit).rawValue()), JobKind::edit);

    const auto zip = ArchiveFormat::zip;
    const auto sevenZip = ArchiveFormat::sevenZip;
    EXPECT_EQ(DropIntent::resolve({"/a.zip", "/b.rar"}, zip, WorkAction::automatic()), DropIntent::extract(2));
    EXPECT_EQ(DropIntent::resolve({"/a.zip", "/notes.txt"}, sevenZip, WorkAction::automatic()),
              DropIntent::compress(sevenZip, 2));
    EXPECT_EQ(DropIntent::resolve({}, zip, WorkAction::automatic()), DropIntent::compress(zip, 0));
    EXPECT_EQ(DropIntent::resolve({"/a.zip"}, zip, WorkAction::compress()), DropIntent::compress(zip, 1));
    EXPECT_EQ(DropIntent::resolve({"/notes.txt"}, zip, WorkAction::extract()), DropIntent::extract(1));
    EXPECT_EQ(DropIntent::resolve({"/a.zip"}, zip, WorkAction::extractFile("a/b.txt", "pw")), DropIntent::extract(1));
    EXPECT_EQ(DropIntent::resolve({"/a.zip"}, zip, WorkAction::extractConfirmed({{"/a.zip", ""}})),
              DropIntent::extract(1));
    EXPECT_NE(DropIntent::compress(zip, 1), DropIntent::compress(sevenZip, 1));

    EXPECT_EQ(WorkAction::extractFile("a", "p"), WorkAction::extractFile("a", "p"));
    EXPECT_NE(WorkAction::extractFile("a", "p"), WorkAction::extractFile("a", "q"));
    EXPECT_NE(WorkAction::extract(), WorkAction::automatic());
}
