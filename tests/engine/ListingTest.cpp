// SPDX-License-Identifier: GPL-3.0-or-later

// Tarvo's own lister against lsar, the memory ceiling on every lister, and the safety report.
#include "TestSupport.h"
#include "engine/adapters/TarvoLister.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/archive/ArchiveSafety.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/ToolLocator.h"
#include "engine/util/LegacyNames.h"
#include "engine/util/TextUtil.h"
#include "engine/vocabulary/ArchiveError.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>

using namespace tarvo::engine;
using namespace tarvo::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class Listing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TARVO_SKIP_WITHOUT("zip", "bsdtar", "7zz", "unar", "lsar", "zstd");
        own = ToolLocator::rarSupport();
        ASSERT_TRUE(own.entryLister) << "tarvo-lister not found";
        lsarOnly = own;
        lsarOnly.entryLister.reset();
    }

    TempDir dir;
    RarSupport own;
    RarSupport lsarOnly;
};

} // namespace

TEST(ArchiveCatalog, ReadsTheOwnListersLines)
{
    ArchiveListing listing;
    EXPECT_TRUE(TarvoLister::readLine("f 12 - new\\0aline\\20with\\5cslash", listing));
    EXPECT_TRUE(TarvoLister::readLine("d - - Photos/", listing));
    EXPECT_TRUE(TarvoLister::readLine("l 9 - Photos/up ../../etc", listing));
    EXPECT_TRUE(TarvoLister::readLine("h 0 e -T.txt new\\0aline\\20with\\5cslash", listing));
    // Not entries: too few fields, a long type, a size beyond 64 bits (read as unknown).
    EXPECT_FALSE(TarvoLister::readLine("f 1 -", listing));
    EXPECT_FALSE(TarvoLister::readLine("file 1 - x", listing));
    EXPECT_TRUE(TarvoLister::readLine("f 99999999999999999999 - big \\zz", listing));
    const std::vector<ArchiveEntry> expected = {{"new\nline with\\slash", 12, false},
                                                {"Photos", 0, true},
                                                {"Photos/up", 9, false},
                                                {"-T.txt", 0, false},
                                                {"big", 0, false}};
    EXPECT_EQ(listing.entries, expected);
    EXPECT_TRUE(listing.isEncrypted);
    const std::vector<ArchiveListing::Link> links = {{2, "../../etc", false}, {3, "new\nline with\\slash", true}};
    EXPECT_EQ(listing.links, links);
}

TEST_F(Listing, OwnListerAgreesWithLsarOnAwkwardNames)
{
    const fs::path src = dir / "src";
    for (const std::string name :
         {"with space/b c.txt", "new\nline.txt", "back\\slash.txt", "-dash.txt", "Folder/Sub/a.txt"}) {
        writeFile(src / name, name);
    }
    fs::create_directories(src / "Empty");
    fs::create_symlink("../../outside", src / "out");
    const std::string archives = (dir / "a").string();
    fs::create_directories(archives);
    runIn(src, {"zip", "-qry", archives + "/x.zip", "."});
    runIn(src, {"zip", "-qry", "-P", "secret", archives + "/enc.zip", "."});
    runIn(src, {"bsdtar", "-czf", archives + "/x.tar.gz", "."});
    runIn(src, {"7zz", "a", "-bso0", "-bsp0", "-snl", archives + "/x.7z", "."});
    runIn(src, {"7zz", "a", "-bso0", "-bsp0", "-snl", "-psecret", archives + "/enc.7z", "."});

    for (const char* name : {"x.zip", "x.tar.gz", "x.7z", "enc.7z"}) {
        SCOPED_TRACE(name);
        ArchiveListing mine = ArchiveCatalog::list({.archive = dir / "a" / name, .tools = own});
        ArchiveListing theirs = ArchiveCatalog::list({.archive = dir / "a" / name, .tools = lsarOnly});
        // lsar reads a backslash in a 7Z name as a separator, while 7zz unpacks it as part of the name
        // (libarchive stops at enc.7z's encrypted link, so lsar lists that one either way).
        for (ArchiveListing* listing : {&mine, &theirs}) {
            for (ArchiveEntry& entry : listing->entries) {
                if (std::string_view(name).ends_with(".7z") && entry.path == "back/slash.txt") {
                    entry.path = "back\\slash.txt";
                }
            }
        }
        EXPECT_EQ(mine.entries, theirs.entries);
        EXPECT_EQ(mine.isEncrypted, std::string_view(name) == "enc.7z");
        EXPECT_EQ(mine.isEncrypted, theirs.isEncrypted);
        if (!mine.isEncrypted) {
            ASSERT_EQ(mine.links.size(), 1u);
            EXPECT_EQ(mine.links[0].target, "../../outside");
        }
    }
    // lsar asks for the password of a ZipCrypto ZIP before it lists anything; Tarvo's lister lists
    // it and marks it protected (an encrypted link's size is what it takes stored).
    const ArchiveListing protectedZip = ArchiveCatalog::list({.archive = dir / "a" / "enc.zip", .tools = own});
    const ArchiveListing plainZip = ArchiveCatalog::list({.archive = dir / "a" / "x.zip", .tools = own});
    EXPECT_TRUE(protectedZip.isEncrypted);
    EXPECT_TRUE(
        std::ranges::equal(protectedZip.entries, plainZip.entries, {}, &ArchiveEntry::path, &ArchiveEntry::path));
    // A tar's names in another encoding than UTF-8 are lsar's to guess; should lsar fail on them,
    // the own listing stands, its bytes shown as lsar shows what it cannot read.
    writeFile(dir / "latin" / "caf\xe9.txt", "x");
    runIn(dir / "latin", {"bsdtar", "-cf", archives + "/latin.tar", "."});
    RarSupport failingLsar = own;
    failingLsar.lister = writeScript(dir / "bin" / "lsar", "exit 1\n");
    const ArchiveListing latin = ArchiveCatalog::list({.archive = dir / "a" / "latin.tar", .tools = failingLsar});
    ASSERT_EQ(latin.entries.size(), 2u);
    EXPECT_EQ(latin.entries[1].path, "./caf%e9.txt");
    EXPECT_EQ(latin.entries[1].storedPath, "./caf\xe9.txt");
    // Not an archive, under either lister.
    writeFile(dir / "a" / "text.zip", "just text");
    EXPECT_EQ(failureOf([&] { ArchiveCatalog::list({.archive = dir / "a" / "text.zip", .tools = own}); }),
              ArchiveError::Case::notAnArchive);
}

// ZIPs as Windows makes them: names in the code page of the system, without the UTF-8 flag.
TEST_F(Listing, LegacyZipNamesReadAlikeInTheListingTheExtractionAndTheTest)
{
    struct Case
    {
        const char* archive;
        std::string stored; // the name's bytes
        std::string shown;
        const char* encoding;
        bool madeOnWindows;
    };
    const std::vector<Case> cases = {
        {"sjis.zip", "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x96\xbc", "日本語のファイル名",
         "Shift-JIS", false},
        {"cp866.zip", "\x8e\xe2\xe7\xf1\xe2 \xa7\xa0 \xaa\xa2\xa0\xe0\xe2\xa0\xab", "Отчёт за квартал", "CP866", true},
        {"cp1251.zip", "\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0", "Привет мир", "Windows-1251", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        const fs::path src = dir / "src" / c.encoding;
        writeFile(src / c.stored / (c.stored + ".txt"), "hello");
        const fs::path archive = dir / "a" / c.archive;
        fs::create_directories(archive.parent_path());
        runIn(src, {"zip", "-qr", archive.string(), "."}, {"LC_ALL=C"});
        if (c.madeOnWindows) {
            // "Version made by" MS-DOS, for which unzip would turn the names into Latin-1.
            std::string bytes = readFile(archive);
            for (auto at = bytes.find("PK\1\2"); at != std::string::npos; at = bytes.find("PK\1\2", at + 4)) {
                bytes[at + 5] = 0;
            }
            writeFile(archive, bytes);
        }
        const std::string file = c.shown + "/" + c.shown + ".txt";
        const ArchiveListing listing = ArchiveCatalog::list({.archive = archive, .tools = own});
        EXPECT_EQ(listing.nameEncoding, c.encoding);
        ASSERT_EQ(listing.entries.size(), 2u);
        EXPECT_EQ(listing.entries[1].path, file);
        const fs::path folder = ArchiveEngine::extract(archive, own, std::nullopt, {});
        EXPECT_EQ(readFile(folder / (c.shown + ".txt")), "hello");
        fs::remove_all(folder);
        const fs::path one =
            ArchiveEngine::extractEntry({.archive = archive, .entry = file, .tools = own, .isDirectory = false});
        EXPECT_EQ(readFile(one), "hello");
        fs::remove_all(one.parent_path().parent_path());
        EXPECT_TRUE(ArchiveEngine::test(archive, own, std::nullopt, {}).sound);
    }
    // Chosen rather than detected: KOI8-R reads Windows-1251 bytes as other letters, and a
    // two-byte encoding cannot read every byte; both land as they are listed, in valid UTF-8.
    for (const char* chosen : {"KOI8-R", "Shift-JIS"}) {
        SCOPED_TRACE(chosen);
        const fs::path archive = dir / "a" / "cp1251.zip";
        const ArchiveListing listing = ArchiveCatalog::list({.archive = archive, .tools = own, .encoding = chosen});
        EXPECT_EQ(listing.nameEncoding, chosen);
        ASSERT_EQ(listing.entries.size(), 2u);
        EXPECT_NE(listing.entries[0].path, "Привет мир");
        const fs::path folder = ArchiveEngine::extract(archive, own, std::nullopt, {}, chosen);
        std::vector<std::string> landed;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            landed.push_back(fs::relative(entry.path(), folder).string());
        }
        fs::remove_all(folder);
        EXPECT_EQ(landed, std::vector<std::string>{listing.entries[1].path.substr(listing.entries[0].path.size() + 1)});
        EXPECT_TRUE(isValidUtf8(listing.entries[1].path)) << listing.entries[1].path;
    }
    // 130 letters take 260 bytes as UTF-8, past what a file system takes: cut alike in both.
    const std::string longName(130, '\xcf');
    writeFile(dir / "long" / (longName + ".txt"), "long");
    runIn(dir / "long", {"zip", "-q", (dir / "a" / "long.zip").string(), longName + ".txt"}, {"LC_ALL=C"});
    const ArchiveListing cut =
        ArchiveCatalog::list({.archive = dir / "a" / "long.zip", .tools = own, .encoding = "Windows-1251"});
    ASSERT_EQ(cut.entries.size(), 1u);
    EXPECT_EQ(cut.entries[0].path.size(), 254u); // 125 letters and ".txt"
    EXPECT_TRUE(cut.entries[0].path.ends_with("П.txt"));
    const fs::path folder = ArchiveEngine::extract(dir / "a" / "long.zip", own, std::nullopt, {}, "Windows-1251");
    EXPECT_EQ(readFile(folder / cut.entries[0].path), "long");

    // Some encodings read a byte as "/" (ISIRI-3342's 0xAF) or "." (ARMSCII-8's 0xA9): such a name
    // stays one name, never a path up. Windows-1258 holds a letter back for an accent that may follow.
    EXPECT_EQ(readableName("..\xaf..\xaf"
                           "evil.txt",
                           "ISIRI-3342"),
              "..%af..%af"
              "evil.txt");
    EXPECT_EQ(readableName(".\xa9/\xa9/x\xa9", "ARMSCII-8"), ".%a9/%a9/x.");
    EXPECT_EQ(readableName("caf\xe9.txt", "WINDOWS-1258"), "caf\u00e9.txt");
    EXPECT_EQ(readableName("..\xa0/caf\xe9", "TCVN5712-1"), "..\u00a0/caf\u1ed9");

    EXPECT_EQ(nameEncodingNamed("shift_jis"), "Shift-JIS");
    EXPECT_EQ(nameEncodingNamed("cp1251"), "Windows-1251");
    EXPECT_EQ(nameEncodingNamed("iso-8859-4"), "ISO-8859-4");
    EXPECT_EQ(nameEncodingNamed("UTF-16"), std::nullopt);
    EXPECT_EQ(nameEncodingNamed("bogus"), std::nullopt);
}

TEST_F(Listing, ListersStayUnderTheirMemoryCeiling)
{
    ScopedLanguage english(AppLanguage::english);
    // A lister that grows without end: it fails at its ceiling, in seconds, and says so.
    writeFile(dir / "a" / "any.rar", "Rar!");
    RarSupport fake = own;
    fake.lister = writeScript(dir / "bin" / "lsar", "x=x\nwhile :; do x=\"$x$x\"; done\n");
    auto start = std::chrono::steady_clock::now();
    const ArchiveError error =
        errorOf([&] { ArchiveCatalog::list({.archive = dir / "a" / "any.rar", .tools = fake}); });
    EXPECT_EQ(error.errorCase(), ArchiveError::Case::toolFailed);
    EXPECT_EQ(error.message(), L10n::text(Text::outOfMemory));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);

    // A 7Z that makes lsar grow by hundreds of megabytes a second, by every road to a lister.
    const fs::path bomb = fs::path(TARVO_FIXTURES_DIR) / "broken" / "lsar-grows.7z";
    if (!fs::exists(bomb)) {
        GTEST_SKIP() << "no " << bomb;
    }
    fs::copy_file(bomb, dir / "a" / "grows.7z");
    RarSupport unarOnly = lsarOnly;
    unarOnly.sevenZip.reset();
    const auto before = namesIn(dir / "a");
    const std::vector<std::function<void()>> roads = {
        [&] { ArchiveCatalog::list({.archive = dir / "a" / "grows.7z", .tools = own}); },
        [&] { ArchiveCatalog::list({.archive = dir / "a" / "grows.7z", .tools = lsarOnly}); },
        [&] { ArchiveEngine::extractEntry({.archive = dir / "a" / "grows.7z", .entry = "grows", .tools = unarOnly}); },
        [&] { ArchiveEngine::extract(dir / "a" / "grows.7z", unarOnly, std::nullopt, {}); },
    };
    for (std::size_t i = 0; i < roads.size(); ++i) {
        start = std::chrono::steady_clock::now();
        try {
            roads[i]();
        } catch (const std::exception&) {
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, 20s) << "road " << i;
        EXPECT_EQ(namesIn(dir / "a"), before) << "road " << i;
    }
}

TEST_F(Listing, AStreamedListingHoldsNothingAndKeepsItsOrderAndLinks)
{
    // A lister of 250,000 entries: a link to the outside, then a file through it, at the end.
    RarSupport fake = own;
    fake.entryLister = writeScript(dir / "bin" / "lister",
                                   "seq 1 250000 | sed 's|^|f 1 - d/|'\necho 'l 0 - up /etc'\necho 'f 1 - up/passwd'\n"
                                   "[ -f \"$0.fail\" ] && exit 1; exit 0\n");
    writeFile(dir / "a" / "many.tar", "");
    std::int64_t count = 0;
    std::string last;
    SafetyWalk safety;
    const ArchiveListing listing =
        ArchiveCatalog::list({.archive = dir / "a" / "many.tar", .tools = fake},
                             [&](const ArchiveEntry& entry, const ArchiveListing::Link* link) {
                                 EXPECT_EQ(link != nullptr, entry.path == "up") << entry.path;
                                 if (++count == 250000) {
                                     EXPECT_EQ(entry.path, "d/250000");
                                 }
                                 last = entry.path;
                                 safety.add(entry, link ? &link->target : nullptr, link && link->hard);
                             });
    EXPECT_EQ(count, 250002);
    EXPECT_EQ(last, "up/passwd");
    EXPECT_TRUE(listing.entries.empty() && listing.links.empty());
    const SafetyReport report = safety.report(1000, std::nullopt);
    EXPECT_EQ(report.entries, 250002);
    EXPECT_EQ(report.unpackedBytes, 250001);
    EXPECT_EQ(report.entriesOutside, 1);
    EXPECT_EQ(report.linksOutside, 1);
    // Once entries are handed on, no other lister takes over from one that fails: they would come twice.
    writeFile(dir / "bin" / "lister.fail", "");
    count = 0;
    EXPECT_EQ(failureOf([&] {
                  ArchiveCatalog::list({.archive = dir / "a" / "many.tar", .tools = fake},
                                       [&](const ArchiveEntry&, const ArchiveListing::Link*) { ++count; });
              }),
              ArchiveError::Case::toolFailed);
    EXPECT_LE(count, 250000);
}

TEST(ArchiveSafety, TellsEntriesAndLinksThatLeaveTheFolder)
{
    for (const char* outside : {"../x", "/etc/passwd", "a/../../x", "C:\\x", "a\\..\\..\\x", "\\x"}) {
        EXPECT_TRUE(ArchiveSafety::leavesFolder(outside)) << outside;
    }
    for (const char* inside : {"x", "a/../x", "./a/./b", "a/b/../../c", "..a/b", "a//b/", "x:y"}) {
        EXPECT_FALSE(ArchiveSafety::leavesFolder(inside)) << inside;
    }
    EXPECT_TRUE(ArchiveSafety::linkLeavesFolder("link", "../x", false));
    EXPECT_TRUE(ArchiveSafety::linkLeavesFolder("a/b/link", "/usr", false));
    EXPECT_TRUE(ArchiveSafety::linkLeavesFolder("a/link", "../../x", false));
    EXPECT_FALSE(ArchiveSafety::linkLeavesFolder("a/link", "../x", false));
    EXPECT_FALSE(ArchiveSafety::linkLeavesFolder("a/b/link", "../c/./d", false));
    // A hard link names another entry, from the top of the archive.
    EXPECT_FALSE(ArchiveSafety::linkLeavesFolder("a/b/link", "x", true));
    EXPECT_TRUE(ArchiveSafety::linkLeavesFolder("a/link", "../x", true));

    ArchiveListing listing;
    listing.entries = {
        {"a", 0, true}, {"a/big", 600'000'000, false}, {"a/big2", 600'000'000, false}, {"../x", 1, false}};
    listing.links = {{1, "/etc/passwd", false}};
    SafetyReport report = ArchiveSafety::inspect(listing, 12'000'001, 2'000'000'000);
    EXPECT_EQ(report.entries, 4);
    EXPECT_EQ(report.unpackedBytes, 1'200'000'001);
    EXPECT_EQ(report.entriesOutside, 1);
    EXPECT_EQ(report.linksOutside, 1);
    EXPECT_FALSE(report.exceedsFreeSpace);
    EXPECT_FALSE(report.unpacksHundredfold); // 100 times the archive is a little more
    report = ArchiveSafety::inspect(listing, 11'000'000, 1'000'000'000);
    EXPECT_TRUE(report.exceedsFreeSpace);
    EXPECT_TRUE(report.unpacksHundredfold);
    // Through links: "d" is the top itself, so "d/../x" leaves; "c" leads through "a/b", the top.
    ArchiveListing chained;
    chained.entries = {{"a/b", 0, false}, {"c", 0, false}, {"d", 0, false}, {"d/../x", 1, false}, {"a/ok", 0, false}};
    chained.links = {{0, "..", false}, {1, "a/b/..", false}, {2, ".", false}, {4, "../a/b", false}};
    report = ArchiveSafety::inspect(chained, 1000, std::nullopt);
    EXPECT_EQ(report.entriesOutside, 1);
    EXPECT_EQ(report.linksOutside, 1);
    // Over 100 times, but not over 1 GB: a text file that compresses well is no bomb.
    listing.entries = {{"log.txt", 900'000'000, false}};
    listing.links.clear();
    EXPECT_TRUE(ArchiveSafety::inspect(listing, 1000, std::nullopt).isClear());
}

TEST_F(Listing, SafetyReportOnHostileArchivesAndABomb)
{
    // A link to the outside, "../" climbing out, an absolute path; then 1.1 GB of zeros in a few
    // kilobytes.
    const fs::path src = dir / "src";
    writeFile(src / "evil", "evil");
    writeFile(src / "abs", "abs");
    fs::create_symlink("/etc", src / "up");
    const std::string archives = (dir / "a").string();
    fs::create_directories(archives);
    const auto inspect = [&](const fs::path& archive, const std::string& password = {}) {
        return ArchiveSafety::inspect(ArchiveCatalog::list({.archive = archive, .password = password, .tools = own}),
                                      archive);
    };
    for (const char* suffix : {".zip", ".tar.gz", ".7z"}) {
        runIn(src, {"bsdtar", "-acPf", archives + "/hostile" + suffix, "-s", ",^evil,../../evil,", "-s",
                    ",^abs,/tmp/abs,", "evil", "abs", "up"});
        SCOPED_TRACE(suffix);
        const SafetyReport report = inspect(archives + "/hostile" + suffix);
        EXPECT_EQ(report.entries, 3);
        EXPECT_EQ(report.entriesOutside, 2);
        EXPECT_EQ(report.linksOutside, 1);
        EXPECT_TRUE(report.freeBytes.has_value());
    }
    // Headers encrypted: 7-Zip lists it, the password on its standard input, and reads each link's target.
    runIn(src, {"7zz", "a", "-bso0", "-psecret", "-mhe=on", "-snl", archives + "/locked.7z", "abs", "up"});
    const SafetyReport locked = inspect(archives + "/locked.7z", "secret");
    EXPECT_EQ(locked.entries, 2);
    EXPECT_EQ(locked.linksOutside, 1);
    writeFile(src / "zeros.bin", "");
    fs::resize_file(src / "zeros.bin", 1'100'000'000); // sparse: no disk used
    runIn(src, {"bsdtar", "--zstd", "-cf", archives + "/bomb.tar.zst", "zeros.bin"});
    const fs::path bomb = dir / "a" / "bomb.tar.zst";
    const SafetyReport report = inspect(bomb);
    EXPECT_EQ(report.unpackedBytes, 1'100'000'000);
    EXPECT_TRUE(report.unpacksHundredfold) << fs::file_size(bomb);
    EXPECT_EQ(report.entriesOutside + report.linksOutside, 0);

    // One compressed file tells its size: gzip in its last four bytes, zstd in its frame headers.
    writeFile(src / "z.bin", std::string(3'000'000, '\0'));
    runIn(src, {"gzip", "-k", "z.bin"});
    runIn(src, {"zstd", "-q", "z.bin"});
    for (const char* name : {"z.bin.gz", "z.bin.zst"}) {
        EXPECT_EQ(inspect(src / name).unpackedBytes, 3'000'000) << name;
    }
}
