#include "TestSupport.h"
#include "engine/tools/FileWalk.h"
#include "engine/tools/ProgressParser.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace tarvo::engine;
using tarvo::test::TempDir;
using tarvo::test::writeFile;

TEST(FileWalk, CountsTheFilesAJobWillPack)
{
    TempDir dir;
    EXPECT_EQ(FileWalk::count({}), 1);
    EXPECT_EQ(FileWalk::count({dir / "missing", dir / "gone"}), 1);

    writeFile(dir / "three" / "a", "");
    writeFile(dir / "three" / "b", "");
    writeFile(dir / "three" / "c", "");
    writeFile(dir / "three" / ".DS_Store", "");
    EXPECT_EQ(FileWalk::count({dir / "three"}), 3);

    for (int i = 0; i < 5; ++i) {
        writeFile(dir / "only hidden" / ".git" / std::to_string(i), "");
    }
    EXPECT_EQ(FileWalk::count({dir / "only hidden"}), 1);

    writeFile(dir / "one.txt", "");
    writeFile(dir / ".hidden top", "");
    writeFile(dir / "tree" / "1", "");
    writeFile(dir / "tree" / "2", "");
    writeFile(dir / "tree" / "sub" / "3", "");
    writeFile(dir / "tree" / "sub" / "deeper" / "4", "");
    writeFile(dir / "tree" / "sub" / "deeper" / "5", "");
    // A selected hidden file counts; links inside a folder are not files and are not followed.
    std::filesystem::create_symlink(dir / "three", dir / "tree" / "link to folder");
    std::filesystem::create_symlink(dir / "one.txt", dir / "tree" / "link to file");
    EXPECT_EQ(FileWalk::count({dir / "one.txt", dir / ".hidden top", dir / "tree"}), 7);
    // A selected link to a folder is walked like the folder.
    std::filesystem::create_symlink(dir / "three", dir / "selected link");
    EXPECT_EQ(FileWalk::count({dir / "selected link"}), 3);
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

TEST(ProgressParser, EachToolFamilysReports)
{
    // 7-Zip: a percentage, then its running count of finished files when there is one.
    ProgressParser sevenZip(ProgressParser::familyOf("7zz"));
    const auto step = [&](std::string_view line) {
        const ProgressStep got = sevenZip.read(line);
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

    ProgressParser tar(ProgressParser::familyOf("bsdtar"));
    EXPECT_EQ(tar.read("a Photos/cover.png").entries, 1);
    EXPECT_EQ(tar.read("x -a b.txt").entries, 1);
    EXPECT_EQ(tar.read("bsdtar: Error exit delayed from previous errors.").entries, 0);
    EXPECT_EQ(tar.read("A x").entries, 0);
    EXPECT_EQ(tar.read("x Photos/").entries, 0);
    using Family = ProgressParser::Family;
    EXPECT_TRUE(ProgressParser::onlyNamesEntry(Family::tar, "x a b.txt"));
    EXPECT_FALSE(ProgressParser::onlyNamesEntry(Family::tar, "x up/pwned.txt: Cannot extract through symlink"));
    EXPECT_FALSE(ProgressParser::onlyNamesEntry(Family::infoZip, "x a b.txt"));
    ProgressParser unar(ProgressParser::familyOf("unar"));
    EXPECT_EQ(unar.read("test1.bin  (4096 B)... OK.").entries, 1);
    EXPECT_EQ(unar.read("test1.bin  (4096 B)... Failed!").entries, 0);
}

TEST(ProgressParser, CountsTheLinesThatNameOneEntry)
{
    for (const char* line :
         {"adding: a.txt (deflated 3%)", "Adding    notes/a.txt     OK", "updating: b", "inflating: /x/a.txt",
          "extracting: a.txt", "creating: dir/", "EXTRACTING  x.rar", "extracting from x.rar"}) {
        EXPECT_TRUE(ProgressParser::counts(line)) << line;
    }
    for (const char* line :
         {"Archive:  x.zip", "linking: a -> b", "adding", "extract: a", "x a.txt", "", "  adding: indented"}) {
        EXPECT_FALSE(ProgressParser::counts(line)) << line;
    }
}
