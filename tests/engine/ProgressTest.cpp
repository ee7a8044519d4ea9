// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"
#include "engine/adapters/InfoZip.h"
#include "engine/adapters/Rarlab.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/adapters/Unar.h"
#include "engine/tools/FileWalk.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace tarvo::engine;
using namespace tarvo::test;

TEST(FileWalk, CountsTheFilesAJobWillPack)
{
    TempDir dir;
    EXPECT_EQ(FileWalk::count({}), 1);
    EXPECT_EQ(FileWalk::count({dir / "missing", dir / "gone"}), 1);

    for (const char* name : {"a", "b", "c", ".DS_Store"}) {
        writeFile(dir / "three" / name, "");
    }
    EXPECT_EQ(FileWalk::count({dir / "three"}), 3);

    for (int i = 0; i < 5; ++i) {
        writeFile(dir / "only hidden" / ".git" / std::to_string(i), "");
    }
    EXPECT_EQ(FileWalk::count({dir / "only hidden"}), 1);

    for (const char* name :
         {"one.txt", ".hidden top", "tree/1", "tree/2", "tree/sub/3", "tree/sub/deeper/4", "tree/sub/deeper/5"}) {
        writeFile(dir / name, "");
    }
    // A selected hidden file counts; links inside a folder are not files and are not followed.
    std::filesystem::create_symlink(dir / "three", dir / "tree" / "link to folder");
    std::filesystem::create_symlink(dir / "one.txt", dir / "tree" / "link to file");
    EXPECT_EQ(FileWalk::count({dir / "one.txt", dir / ".hidden top", dir / "tree"}), 7);
    // A selected link to a folder is walked like the folder.
    std::filesystem::create_symlink(dir / "three", dir / "selected link");
    EXPECT_EQ(FileWalk::count({dir / "selected link"}), 3);

    // The bytes that decide between bsdtar's gzip and pigz: hidden files count, links do not.
    writeFile(dir / "sized" / ".big", std::string(3000, 'x'));
    writeFile(dir / "sized" / "sub" / "small", std::string(1000, 'x'));
    std::filesystem::create_symlink(dir / "sized" / ".big", dir / "sized" / "link");
    EXPECT_TRUE(FileWalk::holdsAtLeast({dir / "sized", dir / "one.txt"}, 4000));
    EXPECT_FALSE(FileWalk::holdsAtLeast({dir / "sized", dir / "sized" / "link"}, 4001));
}

TEST(FileWalk, UnreadableFoldersAddNothing)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every folder";
    }
    TempDir dir;
    writeFile(dir / "open" / "a", "");
    writeFile(dir / "closed" / "b", "");
    std::filesystem::permissions(dir / "closed", std::filesystem::perms::none);
    EXPECT_EQ(FileWalk::count({dir / "open", dir / "closed"}), 1);
    std::filesystem::permissions(dir / "closed", std::filesystem::perms::owner_all);
}

// What each tool's lines say of the job's advance, read by the tool's own words.
TEST(ToolProgress, EachToolsReports)
{
    // 7-Zip: a percentage, then its running count of finished files when there is one.
    std::int64_t counted = 0;
    const auto step = [&](std::string_view line) {
        const ProgressStep got = SevenZip::reading.progress(line, counted);
        return std::pair(static_cast<long long>(got.entries), got.percent);
    };
    EXPECT_EQ(step("0%"), std::pair(0LL, 0));
    EXPECT_EQ(step("5% + 12 monkeys.txt"), std::pair(0LL, 5));
    EXPECT_EQ(step("34% 3 - 2.txt"), std::pair(3LL, 34));
    EXPECT_EQ(step("40% 3 - 2.txt"), std::pair(0LL, 40));
    EXPECT_EQ(step("98% 8 U x"), std::pair(5LL, 98));
    for (const char* line : {"Scanning the drive:", "0M Scan /tmp", "101% 9", "%", "1234567890123456789012% 1"}) {
        EXPECT_EQ(step(line), std::pair(0LL, -1)) << line;
    }

    const auto entries = [](const OutputReading& reading, std::string_view line) {
        std::int64_t none = 0;
        return reading.progress(line, none).entries;
    };
    EXPECT_EQ(entries(Tar::bsdtarReading, "a Photos/cover.png"), 1);
    EXPECT_EQ(entries(Tar::bsdtarReading, "x -a b.txt"), 1);
    EXPECT_EQ(entries(Tar::bsdtarReading, "bsdtar: Error exit delayed from previous errors."), 0);
    EXPECT_EQ(entries(Tar::bsdtarReading, "A x"), 0);
    EXPECT_EQ(entries(Tar::bsdtarReading, "x Photos/"), 0);
    EXPECT_TRUE(Tar::bsdtarReading.onlyNamesEntry("x a b.txt"));
    EXPECT_FALSE(Tar::bsdtarReading.onlyNamesEntry("x up/pwned.txt: Cannot extract through symlink"));
    EXPECT_EQ(entries(Unar::unarReading, "test1.bin  (4096 B)... OK."), 1);
    EXPECT_EQ(entries(Unar::unarReading, "test1.bin  (4096 B)... Failed!"), 0);

    // zip, unzip, rar and unrar name one handled entry per line.
    for (const char* line :
         {"adding: a.txt (deflated 3%)", "updating: b", "inflating: /x/a.txt", "extracting: a.txt", "creating: dir/"}) {
        EXPECT_EQ(entries(InfoZip::unzipReading, line), 1) << line;
        EXPECT_EQ(entries(Rarlab::reading, line), 0) << line;
    }
    for (const char* line : {"Adding    notes/a.txt     OK", "EXTRACTING  x.rar", "extracting from x.rar"}) {
        EXPECT_EQ(entries(Rarlab::reading, line), 1) << line;
    }
    for (const char* line :
         {"Archive:  x.zip", "linking: a -> b", "adding", "extract: a", "x a.txt", "", "  adding: indented"}) {
        EXPECT_EQ(entries(InfoZip::zipReading, line), 0) << line;
        EXPECT_EQ(entries(Rarlab::reading, line), 0) << line;
    }
}
