// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/archive/JobTools.h"
#include "engine/archive/SpaceGuard.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/ToolLocator.h"
#include "engine/vocabulary/ArchiveError.h"

#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>

using namespace tarvo::engine;
using namespace tarvo::test;
namespace fs = std::filesystem;

namespace {

class BadInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TARVO_SKIP_WITHOUT("zip", "unzip", "bsdtar", "7zz", "unar", "lsar");
        tools = ToolLocator::rarSupport();
        fs::create_directories(dir / "outside");
        fs::create_directories(dir / "archives");
    }

    // Whatever the outcome: nothing written outside the new folder, and nothing left after a failure.
    void extractSafely(const fs::path& archive)
    {
        SCOPED_TRACE(archive.filename().string());
        const auto before = namesIn(archive.parent_path());
        try {
            const fs::path result = ArchiveEngine::extract(archive, tools, std::nullopt, {});
            EXPECT_EQ(result.parent_path(), archive.parent_path());
            fs::remove_all(result);
        } catch (const std::exception&) {
        }
        EXPECT_EQ(namesIn(archive.parent_path()), before);
        EXPECT_TRUE(fs::is_empty(dir / "outside"));
        EXPECT_FALSE(fs::exists(dir / "evil.txt"));
        EXPECT_FALSE(fs::exists(dir / "abs.txt"));
    }

    TempDir dir;
    RarSupport tools;
};

} // namespace

TEST_F(BadInput, HostileAndBrokenArchivesWriteNothingOutsideAndLeaveNothingBehind)
{
    // A link to the outside followed by a file through it; "../" climbing out; an absolute path.
    const fs::path src = dir / "src";
    writeFile(src / "real" / "pwned.txt", "pwned");
    writeFile(src / "evil.txt", "evil");
    fs::create_directory_symlink(dir / "outside", src / "up");
    const std::string archives = (dir / "archives").string();
    for (const char* suffix : {".tar.gz", ".tar.xz", ".tar", ".zip", ".7z"}) {
        runIn(src, {"bsdtar", "-acPf", archives + "/links" + suffix, "-s", ",^real,up,", "up", "real"});
    }
    for (const char* suffix : {".tar.gz", ".tar.xz", ".zip"}) {
        runIn(src, {"bsdtar", "-acPf", archives + "/dots" + suffix, "-s", ",^evil,../../evil,", "-s",
                    ",^real/pwned.txt," + (dir / "abs.txt").string() + ",", "evil.txt", "real/pwned.txt"});
    }
    // Real archives cut short, text renamed to look like archives, an empty file, an empty but valid ZIP.
    writeFile(dir / "src" / "Folder" / "data.bin", std::string(200000, 'x') + "tail");
    for (const std::string name : {"whole.zip", "whole.7z", "whole.tar.gz"}) {
        runIn(dir / "src", {"bsdtar", "-acf", (dir / name).string(), "Folder"});
        const std::string bytes = readFile(dir / name);
        writeFile(dir / "archives" / ("cut-" + name), bytes.substr(0, bytes.size() / 2));
    }
    for (const char* name : {"text.zip", "text.7z", "text.tar.gz", "text.rar"}) {
        writeFile(dir / "archives" / name, "just some text\n");
    }
    writeFile(dir / "archives" / "nothing.7z", "");
    writeFile(dir / "archives" / "empty.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    // The same as zipx, which other tools unpack; one compressed file that stores a climbing name.
    fs::copy_file(dir / "archives" / "links.zip", dir / "archives" / "links.zipx");
    fs::copy_file(dir / "archives" / "dots.zip", dir / "archives" / "dots.zipx");
    std::string gzip = readFile(dir / "whole.tar.gz");
    writeFile(dir / "archives" / "named.gz",
              gzip.substr(0, 3) + '\x08' + gzip.substr(4, 6) + "../../evil.txt" + '\0' + gzip.substr(10));
    const fs::path fixture = fs::path(TARVO_FIXTURES_DIR) / "rar" / "rar5-evil-symlink-traversal.rar";
    if (fs::exists(fixture)) {
        fs::copy_file(fixture, dir / "archives" / "evil.rar");
    }
    // Whatever the user's own tool settings say: UNZIP=-: would let unzip write "../".
    const ScopedEnv unzipOptions("UNZIP", "-:");
    for (const auto& archive : fs::directory_iterator(dir / "archives")) {
        extractSafely(archive.path());
    }

    // A lone link to a folder outside is not lifted, and cleaning up never follows it.
    const fs::path lone = dir / "lone";
    fs::create_directories(lone);
    fs::create_directory_symlink(dir / "outside", lone / "Link");
    writeFile(dir / "outside" / "keep.txt", "mine");
    runIn(lone, {"bsdtar", "-czf", (dir / "archives" / "lone.tar.gz").string(), "Link"});
    const fs::path result = ArchiveEngine::extract(dir / "archives" / "lone.tar.gz", tools, std::nullopt, {});
    EXPECT_TRUE(fs::is_symlink(result / "Link"));
    fs::remove_all(result);
    EXPECT_EQ(readFile(dir / "outside" / "keep.txt"), "mine");

    // An archive that is not there, or a folder with an archive's name.
    EXPECT_THROW(ArchiveEngine::extract(dir / "archives" / "missing.zip", tools, std::nullopt, {}),
                 fs::filesystem_error);
    fs::create_directory(dir / "folder.zip");
    EXPECT_THROW(ArchiveEngine::extract(dir / "folder.zip", tools, std::nullopt, {}), ArchiveError);
}

TEST_F(BadInput, ResultsNobodyElseCanChangeAndNoSpecialFiles)
{
    // Folders 0777 and files 0666 as stored, a set-user-ID and set-group-ID file, a pipe: whoever unpacks.
    const fs::path open = dir / "src" / "Open";
    writeFile(open / "run.sh", "echo hi");
    writeFile(open / "tool", "x");
    ASSERT_EQ(::mkfifo((open / "pipe").c_str(), 0644), 0);
    fs::permissions(open / "run.sh",
                    fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec & ~fs::perms::others_exec);
    fs::permissions(open / "tool", fs::perms::set_uid | fs::perms::set_gid | fs::perms::owner_all);
    fs::permissions(open, fs::perms::all);
    runIn(dir / "src", {"zip", "-r", "-q", (dir / "archives" / "open.zip").string(), "Open/run.sh", "Open/tool"});
    runIn(dir / "src", {"bsdtar", "-cJf", (dir / "archives" / "open.tar.xz").string(), "Open"});
    for (const char* name : {"open.zip", "open.tar.xz"}) {
        SCOPED_TRACE(name);
        int leftOut = 0;
        const fs::path result =
            ArchiveEngine::extract(dir / "archives" / name, tools, std::nullopt, {{}, {}, [&](int n) { leftOut = n; }});
        EXPECT_EQ(fs::status(result).permissions(), static_cast<fs::perms>(0755));
        EXPECT_EQ(fs::status(result / "run.sh").permissions(), static_cast<fs::perms>(0644));
        EXPECT_EQ(fs::status(result / "tool").permissions(), fs::perms::owner_all);
        EXPECT_FALSE(fs::exists(fs::symlink_status(result / "pipe")));
        EXPECT_EQ(leftOut, std::string(name) == "open.tar.xz" ? 1 : 0);
        fs::remove_all(result);
    }
    // One compressed file keeps its archive's permission bits.
    writeFile(dir / "archives" / "secret.txt", "mine");
    fs::permissions(dir / "archives" / "secret.txt", fs::perms::owner_read | fs::perms::owner_write);
    runIn(dir / "archives", {"gzip", "--", "secret.txt"});
    const fs::path plain = ArchiveEngine::extract(dir / "archives" / "secret.txt.gz", tools, std::nullopt, {});
    EXPECT_EQ(fs::status(plain).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(readFile(plain), "mine");
}

// What is dragged out of the preview goes to another program, which reads through links.
TEST_F(BadInput, AnEntryDraggedOutIsNeverALink)
{
    writeFile(dir / "src" / "Docs" / "a.txt", "alpha");
    fs::create_symlink("../../../../../../.ssh/id_rsa", dir / "src" / "Docs" / "key.txt");
    fs::create_symlink("../../../../../../.ssh/id_rsa", dir / "src" / "invoice.pdf");
    runIn(dir / "src", {"bsdtar", "-cf", (dir / "archives" / "links.tar").string(), "Docs", "invoice.pdf"});
    const fs::path archive = dir / "archives" / "links.tar";
    fs::create_directories(dir / "drag");
    EXPECT_THROW(ArchiveEngine::extractEntry(
                     {.archive = archive, .entry = "invoice.pdf", .tools = tools, .directory = dir / "drag"}),
                 ArchiveError);
    const fs::path folder =
        ArchiveEngine::extractEntry({.archive = archive, .entry = "Docs", .tools = tools, .directory = dir / "drag"});
    EXPECT_EQ(readFile(folder / "a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "key.txt")));
    // Unpacked beside the archive, a link stays what the archive holds.
    const fs::path beside = ArchiveEngine::extractEntry({.archive = archive, .entry = "Docs", .tools = tools});
    EXPECT_TRUE(fs::is_symlink(beside / "key.txt"));
}

// ZIPs of zeros that declare less than they hold; unzip inflates it all, content. One that would
// fill the disk is stopped while it unpacks: the working folder never grows far past the 64 MiB
// that disk use may exceed a declaration by.
TEST_F(BadInput, AnArchiveThatUnpacksToMoreThanItDeclaresKeepsNothing)
{
    const auto liar = [&](const char* name, std::uint64_t holds, std::uint32_t declares) {
        const fs::path big = dir / "src" / "big.bin";
        fs::create_directories(big.parent_path());
        writeFile(big, "");
        fs::resize_file(big, holds);
        const fs::path archive = dir / "archives" / name;
        runIn(big.parent_path(), {"zip", "-q1", archive.string(), "big.bin"});
        fs::remove(big);
        std::string bytes = readFile(archive);
        const std::string declared(reinterpret_cast<const char*>(&declares), 4);
        bytes.replace(22, 4, declared);
        bytes.replace(bytes.find("PK\x01\x02") + 24, 4, declared);
        writeFile(archive, bytes);
        return archive;
    };
    const std::vector<fs::path> liars = {liar("half.zip", 12 << 20, 6 << 20), liar("nearly.zip", 12 << 20, 11'400'000),
                                         liar("far.zip", 112 << 20, 1000)};
    std::atomic<bool> done = false;
    std::atomic<std::uintmax_t> peak = 0;
    std::thread watcher([&] {
        while (!done) {
            std::uintmax_t held = 0;
            std::error_code error;
            for (fs::recursive_directory_iterator it(dir / "archives", error), end; !error && it != end;
                 it.increment(error)) {
                if (it->path().extension() != ".zip" && it->is_regular_file(error)) {
                    held += it->file_size(error);
                }
            }
            peak = std::max<std::uintmax_t>(peak, error ? 0 : held);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (const fs::path& archive : liars) {
        EXPECT_EQ(failureOf([&] { ArchiveEngine::extract(archive, tools, std::nullopt, {}); }),
                  ArchiveError::Case::unpacksBeyondDeclared)
            << archive.filename();
    }
    done = true;
    watcher.join();
    EXPECT_GT(peak, 32u << 20);
    EXPECT_LT(peak, 96u << 20);
    EXPECT_EQ(namesIn(dir / "archives"), (std::vector<std::string>{"far.zip", "half.zip", "nearly.zip"}));
}

TEST_F(BadInput, UnsafeEntryPathsAndThousandsOfEntries)
{
    for (int i = 0; i < 3000; ++i) {
        writeFile(dir / "src" / "Many" / ("f" + std::to_string(i % 30)) / (std::to_string(i) + ".txt"), "x");
    }
    runIn(dir / "src", {"bsdtar", "-acf", (dir / "archives" / "many.zip").string(), "Many"});
    const fs::path archive = dir / "archives" / "many.zip";
    EXPECT_EQ(ArchiveCatalog::list({.archive = archive, .tools = tools}).entries.size(),
              3031u); // 3000 files, 30 folders and Many

    const auto taking = [&](const fs::path& from, const char* entry) {
        return failureOf([&] { ArchiveEngine::extractEntry({.archive = from, .entry = entry, .tools = tools}); });
    };
    for (const char* unsafe : {"../x", "/etc/passwd", "Many/../.."}) {
        EXPECT_EQ(taking(archive, unsafe), ArchiveError::Case::entryCannotBeExtracted) << unsafe;
    }
    // A ZIP is listed first; 7zz is not, and ends well when a name matches nothing.
    runIn(dir / "src", {"7zz", "a", "-bso0", (dir / "archives" / "many.7z").string(), "Many/f1"});
    for (const char* name : {"many.zip", "many.7z"}) {
        EXPECT_EQ(taking(dir / "archives" / name, "Many/nope.txt"), ArchiveError::Case::entryCannotBeExtracted) << name;
    }
    EXPECT_EQ(namesIn(dir / "archives"), (std::vector<std::string>{"many.7z", "many.zip"}));
}

// Writes 16 MiB into the folder named by its -o option in 256 files of 64 KiB, one at a time, and
// ends well whatever became of them.
constexpr std::string_view kCarelessWriter = R"(for a; do case $a in -o*) out=${a#-o};; esac; done
i=0; while [ $i -lt 256 ]; do head -c 65536 /dev/zero > "$out/$i" 2>/dev/null; i=$((i+1)); done; exit 0)";

// Where no small file system can be mounted, the guard is told one of 8 MiB that holds what the
// tool wrote: only its looks while the tool runs can stop it.
TEST_F(BadInput, TheReserveIsKeptWhileAToolRuns)
{
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const auto written = [&] {
        std::uintmax_t bytes = 0;
        std::error_code error;
        for (fs::directory_iterator it(out, error), end; !error && it != end; it.increment(error)) {
            bytes += it->file_size(error);
        }
        return bytes;
    };
    constexpr std::uint64_t kSize = 8 << 20;
    const SpaceGuard guard(out, {}, [&](const fs::path&) {
        return FileSystemRoom{.bytes = kSize, .freeBytes = kSize - std::min<std::uint64_t>(kSize, written())};
    });
    ToolRun writer;
    writer.executable = writeScript(dir / "writer", kCarelessWriter);
    writer.arguments = {"-o" + out.string()};
    EXPECT_EQ(failureOf([&] { ProcessRunner::run(controlled(writer, guard.guarding({}))); }),
              ArchiveError::Case::notEnoughSpace);
    EXPECT_LT(written(), kSize);
}

// A small file system of its own, watched while bombs unpack into it: one of 30,000 empty files and
// one of a file of zeros far larger than the disk. The guard stops each before free space or free
// entries reach 0, and nothing is left.
TEST_F(BadInput, BombsNeverTakeTheLastSpaceOrEntries)
{
    // bsdtar makes the entries from a description, without the files.
    std::string description = "#mtree\n";
    for (int i = 0; i < 30000; ++i) {
        description += "./empty/" + std::to_string(i) + " type=file mode=0644 size=0\n";
    }
    writeFile(dir / "entries.mtree", description);
    runIn(dir.path(), {"bsdtar", "-czf", "archives/entries.tar.gz", "@entries.mtree"});
    writeFile(dir / "zeros" / "zeros.bin", std::string(64 << 20, '\0'));
    runIn(dir.path(), {"7zz", "a", "-bso0", "-bsp0", "-mx=1", "archives/zeros.7z", "zeros"});
    fs::remove_all(dir / "zeros");

    const fs::path small = dir / "small";
    const SmallFileSystem mounted(small, "size=8m,nr_inodes=20000");
    if (!mounted.refusal.empty()) {
        GTEST_SKIP() << mounted.refusal;
    }
    // 7-Zip stood in for by a tool that takes no notice of a full disk and ends well: only the
    // guard's looks while it runs can stop it.
    RarSupport careless = tools;
    careless.sevenZip = writeScript(dir / "7zz", kCarelessWriter);
    for (const char* name : {"entries.tar.gz", "zeros.7z", "careless.7z"}) {
        SCOPED_TRACE(name);
        fs::copy_file(dir / "archives" / (name == std::string("careless.7z") ? "zeros.7z" : name), small / name);
        std::atomic<bool> done = false;
        fsblkcnt_t leastBlocks = std::numeric_limits<fsblkcnt_t>::max();
        fsfilcnt_t leastEntries = std::numeric_limits<fsfilcnt_t>::max();
        std::thread watcher([&] {
            while (!done) {
                struct statvfs info
                {};
                if (::statvfs(small.c_str(), &info) == 0) {
                    leastBlocks = std::min(leastBlocks, info.f_bavail);
                    leastEntries = std::min(leastEntries, info.f_favail);
                }
            }
        });
        EXPECT_EQ(failureOf([&] {
                      ArchiveEngine::extract(small / name, name == std::string("careless.7z") ? careless : tools,
                                             std::nullopt, {});
                  }),
                  ArchiveError::Case::notEnoughSpace);
        done = true;
        watcher.join();
        EXPECT_GT(leastBlocks, 0u);
        EXPECT_GT(leastEntries, 0u);
        EXPECT_EQ(namesIn(small), std::vector<std::string>{name});
        fs::remove(small / name);
    }
}
