// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/archive/SplitSet.h"
#include "engine/tools/ToolLocator.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>

using namespace tarvo::engine;
using namespace tarvo::test;
namespace fs = std::filesystem;

namespace {

class Kinds : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TARVO_SKIP_WITHOUT("zip", "unzip", "bsdtar", "7zz", "unar", "lsar", "gzip", "xz", "zstd");
        tools = ToolLocator::rarSupport();
        writeFile(dir / "src" / "Tree" / "-a b.txt", "first");
        writeFile(dir / "src" / "Tree" / "sub" / "[x]*.txt", "second");
        fs::create_directories(dir / "out");
    }

    fs::path extract(const fs::path& archive, const std::optional<std::string>& password = {},
                     const RunControl& control = {})
    {
        return ArchiveEngine::extract(archive, tools, password, control);
    }

    void expectTree(const fs::path& folder)
    {
        EXPECT_EQ(readFile(folder / "-a b.txt"), "first");
        EXPECT_EQ(readFile(folder / "sub" / "[x]*.txt"), "second");
    }

    TempDir dir;
    RarSupport tools;
};

} // namespace

TEST_F(Kinds, EveryNewKindExtractsAndLists)
{
    const fs::path src = dir / "src";
    const fs::path out = dir / "out";
    for (const char* name : {"t.tar", "t.tar.xz", "t.tbz2", "t.tar.zst"}) {
        runIn(src, {"bsdtar", "-acf", (out / name).string(), "Tree"});
    }
    // bsdtar's -a does not know upper-case suffixes.
    runIn(src, {"bsdtar", "-cJf", (out / "t.TXZ").string(), "Tree"});
    runIn(src, {"7zz", "a", "-tzip", "-mm=PPMd", "-bso0", (out / "t.zipx").string(), "Tree"});
    runIn(src, {"zip", "-qr", (out / "t.jar").string(), "Tree"});
    for (const auto& archive : fs::directory_iterator(out)) {
        SCOPED_TRACE(archive.path().filename().string());
        const auto entries = ArchiveCatalog::list({.archive = archive.path(), .tools = tools}).entries;
        EXPECT_NE(std::ranges::find(entries, ArchiveEntry{"Tree/sub/[x]*.txt", 6, false}), entries.end());
        const fs::path result = extract(archive.path());
        EXPECT_EQ(result.parent_path(), out);
        expectTree(result);
    }

    // One compressed file becomes that file beside it, named after it, whatever name it stored;
    // a tarball misnamed ".gz" stays the tar it is; a ".gz" that is not gzip is no archive.
    const fs::path single = dir / "single";
    writeFile(single / "notes.txt", "hello");
    for (const char* compressor : {"gzip", "xz", "bzip2", "zstd"}) {
        runIn(single, {compressor, "-k", "notes.txt"});
    }
    for (const char* name : {"notes.txt.gz", "notes.txt.xz", "notes.txt.bz2", "notes.txt.zst"}) {
        SCOPED_TRACE(name);
        const ArchiveListing listing = ArchiveCatalog::list({.archive = single / name, .tools = tools});
        ASSERT_EQ(listing.entries.size(), 1U);
        EXPECT_EQ(listing.entries.front().path, "notes.txt");
        const fs::path result = extract(single / name);
        EXPECT_EQ(result, single / "notes 2.txt");
        EXPECT_EQ(readFile(result), "hello");
        fs::remove(result);
    }
    // Its one entry is named after it, as the lister shows it, blanks around it too.
    fs::copy_file(single / "notes.txt.gz", single / " lead.txt.gz");
    const fs::path lead =
        ArchiveEngine::extractEntry({.archive = single / " lead.txt.gz", .entry = " lead.txt", .tools = tools});
    EXPECT_EQ(readFile(lead), "hello");
    runIn(single, {"bsdtar", "-czf", (single / "backup.gz").string(), "notes.txt"});
    const std::string tarball = readFile(single / "backup.gz");
    const fs::path asFile = extract(single / "backup.gz");
    EXPECT_EQ(asFile, single / "backup");
    EXPECT_EQ(runProgram({"/usr/bin/bsdtar", "-tf", asFile.string()}).output, "notes.txt\n");
    // Data after the compressed stream is no padding gzip can vouch for.
    writeFile(single / "junk.txt.gz", readFile(single / "notes.txt.gz") + "garbage");
    EXPECT_EQ(failureOf([&] { extract(single / "junk.txt.gz"); }), ArchiveError::Case::toolFailed);
    writeFile(single / "fake.gz", "plain text");
    writeFile(single / "fake.zst", "plain text");
    const auto before = namesIn(single);
    EXPECT_EQ(failureOf([&] { extract(single / "fake.gz"); }), ArchiveError::Case::notAnArchive);
    EXPECT_EQ(failureOf([&] { ArchiveCatalog::list({.archive = single / "fake.zst", .tools = tools}); }),
              ArchiveError::Case::notAnArchive);
    EXPECT_EQ(namesIn(single), before);
    EXPECT_EQ(tarball, readFile(single / "backup.gz"));
}

TEST_F(Kinds, ASecondToolOnlyWhereTheFirstLacksTheMethod)
{
    const fs::path src = dir / "src";
    const fs::path out = dir / "out";
    runIn(src, {"7zz", "a", "-tzip", "-mm=LZMA", "-bso0", (out / "lzma.zip").string(), "Tree"});
    runIn(src, {"7zz", "a", "-tzip", "-mm=LZMA", "-psecret", "-bso0", (out / "locked lzma.zip").string(), "Tree"});
    runIn(src, {"7zz", "a", "-tzip", "-mem=AES256", "-psecret", "-bso0", (out / "aes.zip").string(), "Tree"});

    // unzip stops on LZMA members; 7-Zip unpacks the archive again into a fresh folder.
    expectTree(extract(out / "lzma.zip"));
    expectTree(extract(out / "locked lzma.zip", "secret"));
    expectTree(extract(out / "aes.zip", "secret"));
    const auto before = namesIn(out);
    for (const char* name : {"locked lzma.zip", "aes.zip"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(failureOf([&] { extract(out / name, "wrong"); }), ArchiveError::Case::wrongPassword);
    }
    EXPECT_EQ(namesIn(out), before);

    // Without RARLAB's unrar, a RAR unar cannot read gets bsdtar; one it found damaged or protected
    // does not, and when both fail the user reads unar's words about the folder they would have got.
    const fs::path fixture = fs::path(TARVO_FIXTURES_DIR) / "rar" / "test_read_format_rar5_multiple_files.rar";
    const auto unarSaying = [&](const std::string& verdict) {
        return writeScript(dir / "bin" / "unar", "echo \"Extraction to directory \\\"$4\\\" failed\"\n"
                                                 "echo \"  $4/test1.bin... Failed! (" +
                                                     verdict + ")\"\nexit 1\n");
    };
    const fs::path failing = unarSaying("Wrong checksum");
    RarSupport withoutUnrar = tools;
    withoutUnrar.extractor = withoutUnrar.unar = failing;
    const fs::path rars = dir / "rars";
    writeFile(rars / "broken.rar", "Rar!\x1a\x07\x01\x00 cut short");
    if (fs::exists(fixture)) {
        fs::copy_file(fixture, rars / "five.rar");
        EXPECT_EQ(failureOf([&] { ArchiveEngine::extract(rars / "five.rar", withoutUnrar, std::nullopt, {}); }),
                  ArchiveError::Case::toolFailed);
        unarSaying("Attempted to read more data than was available");
        const fs::path result = ArchiveEngine::extract(rars / "five.rar", withoutUnrar, std::nullopt, {});
        EXPECT_EQ(namesIn(result), (std::vector<std::string>{"test1.bin", "test2.bin", "test3.bin", "test4.bin"}));
        fs::remove_all(result);
    }
    unarSaying("Attempted to read more data than was available");
    const ArchiveError error =
        errorOf([&] { ArchiveEngine::extract(rars / "broken.rar", withoutUnrar, std::nullopt, {}); });
    EXPECT_EQ(error.tool(), "unar");
    EXPECT_EQ(error.message(), "Extraction to directory \"" + (rars / "broken").string() +
                                   "\" failed\ntest1.bin... Failed! (Attempted to read more data than was available)");
    writeScript(failing, "echo 'x.bin  (6 B)... Failed! (Missing or wrong password)'\nexit 1\n");
    EXPECT_EQ(failureOf([&] { ArchiveEngine::extract(rars / "broken.rar", withoutUnrar, "pw", {}); }),
              ArchiveError::Case::wrongPassword);
    EXPECT_EQ(namesIn(rars).size(), fs::exists(fixture) ? 2U : 1U);
}

TEST_F(Kinds, SevenZipAndTarReportTheirProgressBothWays)
{
    struct Seen
    {
        std::mutex lock;
        long long entries = 0;
        std::vector<int> percents;
    };
    const auto watching = [](Seen& seen) {
        return RunControl{nullptr, [&seen](const ProgressStep& step) {
                              std::lock_guard guard(seen.lock);
                              seen.entries += step.entries;
                              if (step.percent >= 0) {
                                  seen.percents.push_back(step.percent);
                              }
                          }};
    };
    // Enough data that 7-Zip redraws its percentage while it packs.
    for (int i = 0; i < 8; ++i) {
        writeFile(dir / "src" / "Big" / ("part" + std::to_string(i)), noise(5'000'000));
    }
    for (const ArchiveFormat format : {ArchiveFormat::sevenZip, ArchiveFormat::tarGz}) {
        SCOPED_TRACE(std::string(format.rawValue()));
        Seen packing;
        CompressRequest request;
        request.items = {dir / "src" / "Big"};
        request.format = format;
        request.level = CompressionLevel::fast;
        request.directory = dir / "out";
        request.tools = tools;
        request.control = watching(packing);
        const fs::path archive = ArchiveEngine::compress(request);
        Seen unpacking;
        const fs::path result = extract(archive, std::nullopt, watching(unpacking));
        EXPECT_EQ(namesIn(result).size(), 8U);
        if (format == ArchiveFormat::sevenZip) {
            // Its running count of files and percentages that only grow; unpacking is quick, but the
            // first report still comes.
            EXPECT_GT(packing.entries, 0);
            EXPECT_LE(packing.entries, 8);
            EXPECT_GE(packing.percents.size(), 2U);
            EXPECT_TRUE(std::is_sorted(packing.percents.begin(), packing.percents.end()));
            EXPECT_FALSE(unpacking.percents.empty());
        } else {
            // One line per entry; unpacking leaves out the folder, as the preview's count does.
            EXPECT_EQ(packing.entries, 9);
            EXPECT_EQ(unpacking.entries, 8);
        }
    }
}

// Archives cut into parts: whichever part is chosen, the whole set is listed, tested and unpacked,
// named after the set; a part that is not there is named, and nothing is written.
TEST_F(Kinds, SplitSetsOpenThroughAnyPartAndNameAMissingOne)
{
    writeFile(dir / "src" / "Tree" / "big.bin", noise(300'000));
    runIn(dir / "src", {"7zz", "a", "-bso0", "-v100k", (dir / "out" / "v.7z").string(), "Tree"});
    runIn(dir / "src", {"zip", "-qr", "-s", "100k", (dir / "out" / "z.zip").string(), "Tree"});
    runIn(dir / "src", {"zip", "-qr", (dir / "c.zip").string(), "Tree"});
    // A ZIP cut by a splitter into pieces of 100 kB.
    const std::string whole = readFile(dir / "c.zip");
    for (std::size_t at = 0, part = 1; at < whole.size(); at += 100'000, ++part) {
        writeFile(dir / "out" / ("c.zip.00" + std::to_string(part)), whole.substr(at, 100'000));
    }
    for (const char* part : {"v.7z.002", "c.zip.003", "z.z01", "z.zip"}) {
        SCOPED_TRACE(part);
        const fs::path archive = dir / "out" / part;
        EXPECT_TRUE(ArchiveKind::from(archive));
        EXPECT_EQ(ArchiveCatalog::list({.archive = archive, .tools = tools}).entries.size(), 5u);
        EXPECT_TRUE(ArchiveEngine::test(archive, tools, std::nullopt, {}).sound);
        const fs::path folder = extract(archive);
        EXPECT_EQ(folder.filename(), std::string(1, part[0]));
        expectTree(folder);
        fs::remove_all(folder);
    }
    for (const auto& [gone, named] :
         {std::pair{"v.7z.002", "v.7z.003"}, {"z.z01", "z.zip"}, {"c.zip.002", "c.zip.001"}}) {
        SCOPED_TRACE(gone);
        fs::rename(dir / "out" / gone, dir / gone);
        const auto before = namesIn(dir / "out");
        const ArchiveError error = errorOf([&] { extract(dir / "out" / named); });
        EXPECT_EQ(error.errorCase(), ArchiveError::Case::partMissing);
        EXPECT_EQ(error.errorDescription(),
                  "Part " + std::string(gone[0] == 'z' ? "1" : "2") + " of this archive is missing: " + gone + ".");
        EXPECT_EQ(namesIn(dir / "out"), before);
        fs::rename(dir / gone, dir / "out" / gone);
    }

    // RAR sets by their names alone: "x.part1.rar" on, and "y.rar" with "y.r00" on.
    for (const char* name : {"x.part1.rar", "x.part2.rar", "x.part3.rar", "y.rar", "y.r00", "y.r01"}) {
        writeFile(dir / "rar" / name, "");
    }
    const auto set = SplitSet::of(dir / "rar" / "x.part3.rar");
    ASSERT_TRUE(set);
    EXPECT_EQ(set->opened, dir / "rar" / "x.part1.rar");
    EXPECT_EQ(set->parts.size(), 3u);
    EXPECT_EQ(SplitSet::of(dir / "rar" / "y.r01")->opened, dir / "rar" / "y.rar");
    EXPECT_EQ(ArchiveKind::from(dir / "rar" / "y.r01"), ArchiveKind::rar);
    fs::remove(dir / "rar" / "x.part2.rar");
    EXPECT_EQ(SplitSet::of(dir / "rar" / "x.part1.rar")->missingName, "x.part2.rar");
    EXPECT_FALSE(SplitSet::of(dir / "src" / "Tree" / "big.bin"));
}
