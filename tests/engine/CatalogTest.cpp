// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"
#include "engine/adapters/Tar.h"
#include "engine/adapters/Unar.h"
#include "engine/l10n/L10n.h"
#include "engine/vocabulary/ArchiveError.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace tarvo::engine;

namespace {

std::string failureMessage(std::string_view output)
{
    const ArchiveError error = tarvo::test::errorOf([&] { Unar::parseListing(output); });
    EXPECT_EQ(error.tool(), "lsar") << output;
    EXPECT_EQ(error.status(), 1);
    return error.errorDescription();
}

} // namespace

TEST(ArchiveCatalog, ReadsTheListersJsonOrSaysPlainlyWhyNot)
{
    const ArchiveListing listing = Unar::parseListing(R"({
        "lsarFormatVersion": 2,
        "lsarContents": [
            {"XADFileName": "Photos", "XADIsDirectory": 1, "XADIndex": 0, "XADSolidObject": {"a": [1, 2]}},
            {"XADFileName": "Photos/cover.png", "XADFileSize": 1234, "XADIndex": 1},
            {"XADFileName": "", "XADIsEncrypted": 1, "XADIndex": 2},
            {"XADIsEncrypted": true},
            {"XADFileName": "big.bin", "XADFileSize": 9.99e9, "XADIsDirectory": "yes", "XADIndex": 4},
            {"XADFileName": 7}
        ],
        "lsarProperties": {"XADArchiveName": "x.zip", "XADVolumes": ["x.zip"]}
    })");
    EXPECT_EQ(listing.entries,
              (std::vector<ArchiveEntry>{
                  {"Photos", 0, true}, {"Photos/cover.png", 1234, false}, {"big.bin", 9990000000, false}}));
    EXPECT_EQ(listing.indexes, (std::vector<std::int64_t>{0, 1, 4}));
    // Only named entries count towards the encrypted flag.
    EXPECT_FALSE(listing.isEncrypted);

    EXPECT_TRUE(Unar::parseListing(R"({"lsarProperties": {"XADIsEncrypted": true}, "lsarContents": []})").isEncrypted);
    EXPECT_TRUE(Unar::parseListing(R"({"lsarContents": [{"XADFileName": "a", "XADIsEncrypted": 1}]})").isEncrypted);
    EXPECT_TRUE(Unar::parseListing(R"({"lsarFormatVersion": 2})").entries.empty());
    // Contents that are not all objects count as no contents.
    EXPECT_TRUE(Unar::parseListing(R"({"lsarContents": [{"XADFileName": "a"}, 5]})").entries.empty());
    const ArchiveListing failed = Unar::parseListing(R"({"lsarFormatVersion": 2, "lsarError": 15})");
    EXPECT_EQ(failed.listerError, 15);
    EXPECT_FALSE(failed.hasContents);

    // Output that is no listing becomes a clear failure.
    ScopedLanguage english(AppLanguage::english);
    EXPECT_EQ(failureMessage(""), "The archive listing was empty.");
    EXPECT_EQ(failureMessage("[1, 2]"), "The archive listing was empty.");
    EXPECT_EQ(failureMessage("Couldn't recognize the archive format."), "Couldn't recognize the archive format.");
    const std::string longText = "ошибка " + std::string(300, 'x');
    // The first 180 characters, not bytes.
    EXPECT_EQ(failureMessage(longText), "ошибка " + std::string(173, 'x'));
    EXPECT_EQ(failureMessage(R"({"lsarContents": [)"), R"({"lsarContents": [)");
}

TEST(ArchiveCatalog, ReadsBsdtarsListingLines)
{
    const auto entry = [](std::string_view line) {
        const ArchiveEntry read = Tar::parseListLine(line);
        return std::tuple(read.path, read.byteSize, read.isDirectory);
    };
    EXPECT_EQ(entry("drwxr-xr-x  0 root   root        0 Dec  7 08:41 esc/"), std::tuple("esc", 0, true));
    EXPECT_EQ(entry("-rw-r--r--  0 u g  1234 Dec  7  2025 a  b -> c.txt"), std::tuple("a  b -> c.txt", 1234, false));
    EXPECT_EQ(entry("lrwxrwxrwx  0 u g  0 Dec  7 08:20 w/ln -> ../x y"), std::tuple("w/ln", 0, false));
    EXPECT_EQ(entry("hrw-r--r--  0 u g  0 Dec  7 08:41 esc/hard link to esc/tab\\tname"),
              std::tuple("esc/hard", 0, false));
    EXPECT_EQ(entry("-rw-r--r--  0 u g  1 Dec  7 08:41 t\\tb\\\\s\\377\\q"), std::tuple("t\tb\\s\377\\q", 1, false));
    EXPECT_EQ(std::get<0>(entry("bsdtar: Error opening archive")), "");
    // A size beyond 64 bits is unknown, not a wrapped number.
    EXPECT_EQ(entry("-rw-r--r--  0 root root 9223372036854775808 Dec  7 10:40 big"), std::tuple("big", 0, false));
    // The target of a hard link is an entry already listed; the same words may be in either name.
    const auto listed = [](const std::string& path) { return path == "./f link to g"; };
    EXPECT_EQ(Tar::parseListLine("hrw-r--r-- 0 u g 0 Dec 7 08:41 ./h2 link to ./f link to g", listed).path, "./h2");
}

TEST(ArchiveEntry, Symbols)
{
    EXPECT_EQ((ArchiveEntry{"Photos", 0, true}).symbol(), "folder");
    EXPECT_EQ((ArchiveEntry{"in/inner.tar.gz", 0, false}).symbol(), "archivebox");
    EXPECT_EQ((ArchiveEntry{"IMG_0001.JPG", 0, false}).symbol(), "photo");
    EXPECT_EQ((ArchiveEntry{"notes.txt", 0, false}).symbol(), "doc");
    EXPECT_EQ((ArchiveEntry{"file.gz", 0, false}).symbol(), "archivebox");
    EXPECT_EQ((ArchiveEntry{"file.gzip", 0, false}).symbol(), "doc");
}
