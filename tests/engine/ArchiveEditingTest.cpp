// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/ToolLocator.h"

#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <tuple>

using namespace tarvo::engine;
using namespace tarvo::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Paths = std::set<std::string>;

namespace {

void runTool(const fs::path& tool, std::vector<std::string> arguments)
{
    ToolRun run;
    run.executable = tool;
    run.arguments = std::move(arguments);
    ProcessRunner::run(run);
}

class Editing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TARVO_SKIP_WITHOUT("zip", "unzip", "bsdtar", "7zz", "lsar");
        tools = ToolLocator::rarSupport();
        writeFile(dir / "in" / "Pack" / "a.txt", "a");
        writeFile(dir / "in" / "Pack" / "*.txt", "star");
        writeFile(dir / "in" / "Pack" / "a[1].txt", "bracket");
        writeFile(dir / "in" / "Pack" / "d" / "b.txt", "b");
        writeFile(dir / "new" / "-n.txt", "new");
        writeFile(dir / "new" / "a.txt", "replaced");
        writeFile(dir / "new" / ".DS_Store", "junk");
        fs::create_directories(dir / "out");
    }

    fs::path make(const std::string& extension, const std::string& password = {})
    {
        const auto format = ArchiveFormat::fromRaw(extension == "7z" ? "7z" : extension);
        if (format) {
            return ArchiveEngine::compress({.items = {dir / "in" / "Pack"},
                                            .format = *format,
                                            .password = password,
                                            .directory = dir / "out",
                                            .tools = tools});
        }
        const fs::path archive = dir / "out" / ("Pack." + extension);
        runTool("/usr/bin/bsdtar", {"-caf", archive.string(), "-C", (dir / "in").string(), "--", "Pack"});
        return archive;
    }

    Paths listed(const fs::path& archive, const std::string& password = {})
    {
        Paths paths;
        for (const ArchiveEntry& entry :
             ArchiveCatalog::list({.archive = archive, .password = password, .tools = tools}).entries) {
            std::string path = entry.path;
            paths.insert(path.ends_with('/') ? path.substr(0, path.size() - 1) : path);
        }
        return paths;
    }

    std::string contentOf(const fs::path& archive, const std::string& entry, const std::string& password = {})
    {
        fs::create_directories(dir / "x");
        const std::string content = readFile(ArchiveEngine::extractEntry(
            {.archive = archive, .entry = entry, .tools = tools, .password = password, .directory = dir / "x"}));
        fs::remove_all(dir / "x");
        return content;
    }

    EditRequest request(const fs::path& archive, const std::string& password = {})
    {
        return {.archive = archive, .tools = tools, .password = password};
    }

    TempDir dir;
    RarSupport tools;
};

} // namespace

TEST_F(Editing, AddRemoveAndRenameInEveryFormatWithAndWithoutAPassword)
{
    // Without 7-Zip, zip and zipnote change a ZIP.
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"zip", "", false},   {"7z", "", false},   {"tar.gz", "", false}, {"tar.xz", "", false},
        {"zip", "pw", false}, {"7z", "pw", false}, {"zip", "", true}};
    for (const auto& [extension, password, withoutSevenZip] : cases) {
        SCOPED_TRACE(extension + " " + password + (withoutSevenZip ? " without 7-Zip" : ""));
        tools = ToolLocator::rarSupport();
        if (withoutSevenZip) {
            tools.sevenZip.reset();
        }
        const fs::path archive = make(extension, password);
        ::chmod(archive.c_str(), 0640);

        EditRequest add = request(archive, password);
        add.items = {dir / "new" / "-n.txt", dir / "new" / "a.txt", dir / "new" / ".DS_Store"};
        add.into = "Pack";
        EXPECT_EQ(ArchiveEngine::addClashes(add), std::vector<std::string>{"Pack/a.txt"});
        EXPECT_EQ(errorOf([&] { ArchiveEngine::add(add); }), ArchiveError::entryExists("Pack/a.txt"));
        add.onClash = ClashChoice::keepBoth;
        ArchiveEngine::add(add);
        EXPECT_EQ(contentOf(archive, "Pack/a 2.txt", password), "replaced");
        EXPECT_EQ(contentOf(archive, "Pack/a.txt", password), "a");
        add.items = {dir / "new" / "a.txt"};
        add.into = "Pack/d";
        ArchiveEngine::add(add);
        EXPECT_EQ(contentOf(archive, "Pack/d/a.txt", password), "replaced");

        // Names stay names: "*.txt" takes nothing else with it, "a[1].txt" is no pattern.
        EditRequest remove = request(archive, password);
        remove.entries = {"Pack/*.txt"};
        ArchiveEngine::remove(remove);
        EditRequest rename = request(archive, password);
        rename.entries = {"Pack/d"};
        rename.newName = "e";
        ArchiveEngine::rename(rename);
        rename.entries = {"Pack/a[1].txt"};
        rename.newName = "-c.txt";
        ArchiveEngine::rename(rename);
        EXPECT_EQ(listed(archive, password), (Paths{"Pack", "Pack/-n.txt", "Pack/a.txt", "Pack/a 2.txt", "Pack/-c.txt",
                                                    "Pack/e", "Pack/e/b.txt", "Pack/e/a.txt"}));
        EXPECT_EQ(contentOf(archive, "Pack/e/b.txt", password), "b");
        EXPECT_EQ(contentOf(archive, "Pack/-c.txt", password), "bracket");

        remove.entries = {"Pack/e"};
        ArchiveEngine::remove(remove);
        EXPECT_FALSE(listed(archive, password).contains("Pack/e/b.txt"));

        struct stat info = {};
        ASSERT_EQ(::stat(archive.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0640U);
        EXPECT_EQ(namesIn(dir / "out"), std::vector<std::string>{archive.filename().string()}) << "nothing left behind";
        if (!password.empty()) {
            // What was added needs the password as much as what was there; a 7Z's names stay hidden.
            EXPECT_EQ(failureOf([&] {
                          runTool(*tools.sevenZip, {extension == "zip" ? "t" : "l", "-pwrong", "--", archive.string()});
                      }),
                      ArchiveError::Case::toolFailed);
        }
        fs::remove(archive);
    }
}

TEST_F(Editing, RefusedEditsLeaveTheArchiveByteForByte)
{
    const fs::path archive = make("7z", "pw");
    const std::string before = readFile(archive);
    EditRequest rename = request(archive, "pw");
    rename.entries = {"Pack/a.txt"};
    for (const char* name : {"..", ".", "", "x/y"}) {
        rename.newName = name;
        EXPECT_EQ(failureOf([&] { ArchiveEngine::rename(rename); }), ArchiveError::Case::badEntryName) << name;
    }
    rename.newName = "*.txt";
    EXPECT_EQ(errorOf([&] { ArchiveEngine::rename(rename); }), ArchiveError::entryExists("Pack/*.txt"));
    rename.entries = {"Pack/none"};
    EXPECT_EQ(errorOf([&] { ArchiveEngine::rename(rename); }), ArchiveError::entryMissing("Pack/none"));

    EditRequest add = request(archive, "wrong");
    add.items = {dir / "new" / "-n.txt"};
    EXPECT_EQ(failureOf([&] { ArchiveEngine::add(add); }), ArchiveError::Case::wrongPassword);
    add.password = "";
    EXPECT_EQ(failureOf([&] { ArchiveEngine::add(add); }), ArchiveError::Case::wrongPassword);
    add.password = "pw";
    add.items = {dir / "out"};
    EXPECT_EQ(failureOf([&] { ArchiveEngine::add(add); }), ArchiveError::Case::addsItself);
    add.items = {dir / "new" / "a.txt"};
    add.into = "../up";
    EXPECT_EQ(failureOf([&] { ArchiveEngine::add(add); }), ArchiveError::Case::badEntryName);

    // A ZIP's names open without the password: the smallest entry is tried before anything is added.
    const fs::path zip = make("zip", "pw");
    const std::string zipBefore = readFile(zip);
    EditRequest wrong = request(zip, "wrong");
    wrong.items = {dir / "new" / "-n.txt"};
    EXPECT_EQ(failureOf([&] { ArchiveEngine::add(wrong); }), ArchiveError::Case::wrongPassword);
    EXPECT_EQ(readFile(zip), zipBefore);
    fs::remove(zip);

    EXPECT_EQ(readFile(archive), before);
    EXPECT_EQ(namesIn(dir / "out"), std::vector<std::string>{"Pack.7z"});

    // A set cut into parts, and a single compressed file, are changed by no tool.
    writeFile(dir / "out" / "x.gz", "");
    writeFile(dir / "out" / "s.7z.001", "");
    EXPECT_EQ(ArchiveEngine::editBlocker(dir / "out" / "x.gz", tools)->errorCase(), ArchiveError::Case::cannotEdit);
    EXPECT_EQ(ArchiveEngine::editBlocker(dir / "out" / "s.7z.001", tools)->errorCase(),
              ArchiveError::Case::partsCannotChange);
    EXPECT_FALSE(ArchiveEngine::editBlocker(archive, tools));
}

// 7-Zip stood in for by one that deletes more than it was asked, and by one while which another
// program writes the archive: the read-back and the last look before the rename each refuse.
TEST_F(Editing, WhatDoesNotReadBackOrWasWrittenMeanwhileIsNotPublished)
{
    const fs::path archive = make("7z");
    const std::string before = readFile(archive);
    const std::string real = tools.sevenZip->string();
    tools.sevenZip = writeScript(dir / "greedy-7zz", "exec " + real + " \"$@\" Pack/a.txt\n");
    EditRequest remove = request(archive);
    remove.entries = {"Pack/*.txt"};
    EXPECT_EQ(failureOf([&] { ArchiveEngine::remove(remove); }), ArchiveError::Case::editNotVerified);
    EXPECT_EQ(readFile(archive), before);

    // The working copy is the argument after "--"; the archive is two folders up, of the same name.
    tools.sevenZip = writeScript(dir / "meanwhile-7zz",
                                 real + " \"$@\" || exit\n"
                                        "for a; do [ \"$next\" ] && break; [ \"$a\" = -- ] && next=1; done\n"
                                        "printf x >> \"$(dirname \"$(dirname \"$a\")\")/$(basename \"$a\")\"\n");
    remove = request(archive);
    remove.entries = {"Pack/*.txt"};
    EXPECT_EQ(failureOf([&] { ArchiveEngine::remove(remove); }), ArchiveError::Case::archiveChanged);
    EXPECT_EQ(readFile(archive), before + "x") << "the other program's write stays";
    EXPECT_EQ(namesIn(dir / "out"), std::vector<std::string>{"Pack.7z"});
}

// A cancel (the tool killed in the middle of its work) and a file system that runs full each leave
// the archive as it was, with nothing beside it.
TEST_F(Editing, AKilledOrFailedEditKeepsTheOriginal)
{
    writeFile(dir / "in" / "Pack" / "big.bin", noise(48 << 20));
    const fs::path archive = make("zip");
    const std::string before = readFile(archive);
    EditRequest add = request(archive);
    add.items = {dir / "in" / "Pack" / "big.bin"};
    add.onClash = ClashChoice::keepBoth;
    add.control.session = std::make_shared<ArchiveSession>();
    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);
        add.control.session->cancel();
    });
    EXPECT_EQ(failureOf([&] { ArchiveEngine::add(add); }), ArchiveError::Case::cancelled);
    canceller.join();
    EXPECT_EQ(readFile(archive), before);
    EXPECT_EQ(namesIn(dir / "out"), std::vector<std::string>{"Pack.zip"});

    const fs::path small = dir / "small";
    const SmallFileSystem mounted(small, "size=80m");
    if (!mounted.refusal.empty()) {
        GTEST_SKIP() << mounted.refusal;
    }
    for (const char* extension : {"zip", "tar.gz"}) {
        const fs::path full = small / ("Pack." + std::string(extension));
        fs::copy_file(extension == std::string("zip") ? archive : make(extension), full);
        const std::string original = readFile(full);
        add.archive = full;
        add.control.session = std::make_shared<ArchiveSession>();
        EXPECT_ANY_THROW(ArchiveEngine::add(add)) << extension;
        EXPECT_EQ(readFile(full), original) << extension;
        EXPECT_EQ(namesIn(small), std::vector<std::string>{full.filename().string()});
        fs::remove(full);
    }
}

TEST_F(Editing, PartsOfZipAnd7zOpenThroughAnyPart)
{
    writeFile(dir / "in" / "Pack" / "big.bin", noise(300'000));
    for (const ArchiveFormat format : {ArchiveFormat::zip, ArchiveFormat::sevenZip}) {
        const fs::path first = ArchiveEngine::compress({.items = {dir / "in" / "Pack"},
                                                        .format = format,
                                                        .directory = dir / "out",
                                                        .volumeSize = 100'000,
                                                        .tools = tools});
        SCOPED_TRACE(first.filename().string());
        EXPECT_TRUE(first.string().ends_with(".001"));
        const fs::path second = first.parent_path() / (first.stem().string() + ".002");
        ASSERT_TRUE(fs::exists(second));
        EXPECT_LE(fs::file_size(first), 100'000U);
        runTool(*tools.sevenZip, {"t", "-p-", "--", first.string()});
        const fs::path folder = ArchiveEngine::extract(second, tools, std::nullopt, {});
        EXPECT_EQ(readFile(folder / "big.bin"), readFile(dir / "in" / "Pack" / "big.bin"));
        fs::remove_all(folder);
    }
    EXPECT_EQ(failureOf([&] {
                  ArchiveEngine::compress({.items = {dir / "in" / "Pack"},
                                           .format = ArchiveFormat::tarGz,
                                           .directory = dir / "out",
                                           .volumeSize = 100'000,
                                           .tools = tools});
              }),
              ArchiveError::Case::volumesUnsupported);
}
