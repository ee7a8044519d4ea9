// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"
#include "app/DesktopRequest.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <thread>

using tarvo::test::noise;
using tarvo::test::Program;
using tarvo::test::ProgramResult;
using tarvo::test::readFile;
using tarvo::test::runIn;
using tarvo::test::runProgram;
using tarvo::test::TempDir;
using tarvo::test::writeFile;
namespace fs = std::filesystem;

namespace {

class CommandLine : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TARVO_SKIP_WITHOUT("zip", "unzip", "bsdtar", "7zz", "lsar", "unar");
        writeFile(dir / "Photos" / "a.jpg", "a");
        writeFile(dir / "Photos" / "b.jpg", "b");
        writeFile(dir / "Photos" / ".DS_Store", "junk");
    }

    ProgramResult tarvo(std::vector<std::string> arguments, std::string_view input = {})
    {
        arguments.insert(arguments.begin(), TARVO_EXECUTABLE);
        return runProgram(arguments, input, environment);
    }

    static std::vector<std::string> lines(const std::string& text)
    {
        std::vector<std::string> result;
        std::istringstream stream(text);
        for (std::string line; std::getline(stream, line);) {
            result.push_back(line);
        }
        return result;
    }

    TempDir dir;
    TempDir tmp;
    TempDir state;
    std::vector<std::string> environment{"LANGUAGE=", "LC_ALL=C.UTF-8", "TMPDIR=" + tmp.path().string(),
                                         "XDG_DATA_HOME=" + (tmp.path() / "data").string(),
                                         "XDG_STATE_HOME=" + state.path().string()};
};

} // namespace

TEST_F(CommandLine, CompressListAndExtract)
{
    const std::string photos = (dir / "Photos").string();
    // With the slash a shell's completion adds: still the folder, packed beside itself.
    ProgramResult result = tarvo({"compress", photos + "/"});
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, (dir / "Photos.zip").string() + "\n");

    fs::create_directories(dir / "out");
    result = tarvo({"compress", "--format=tar.gz", "--level", "fast", "--name", "Holiday", "--output-dir",
                    (dir / "out").string(), "--keep-junk", photos});
    EXPECT_EQ(result.status, 0) << result.errors;
    const fs::path tarGz = dir / "out" / "Holiday.tar.gz";
    EXPECT_EQ(result.output, tarGz.string() + "\n");
    EXPECT_EQ(lines(tarvo({"list", tarGz.string()}).output).size(), 4u) << "the housekeeping file was kept";

    // The password comes from standard input, never from an argument.
    result = tarvo({"compress", "--format", "7z", "--password-stdin", photos}, "s3cret\n");
    ASSERT_EQ(result.status, 0) << result.errors;
    const std::string sevenZip = (dir / "Photos.7z").string();
    result = tarvo({"list", sevenZip});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.errors, "tarvo: " + sevenZip + ": Wrong password.\n");
    result = tarvo({"list", "--json", "--password-stdin", sevenZip}, "s3cret\n");
    ASSERT_EQ(result.status, 0) << result.errors;
    const auto listing = nlohmann::json::parse(result.output);
    EXPECT_EQ(listing["encrypted"], true);
    ASSERT_EQ(listing["entries"].size(), 3u);
    EXPECT_EQ(listing["entries"][1], (nlohmann::json{{"path", "Photos/a.jpg"}, {"size", 1}, {"isDirectory", false}}));

    // Every archive is tried; a broken one is reported and makes the exit status 1.
    writeFile(dir / "broken.zip", "not a zip");
    result = tarvo({"extract", (dir / "Photos.zip").string(), (dir / "broken.zip").string(), tarGz.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(lines(result.output),
              (std::vector<std::string>{(dir / "Photos").string() + " 2", (dir / "out" / "Holiday").string()}));
    EXPECT_NE(result.errors.find((dir / "broken.zip").string()), std::string::npos) << result.errors;
    EXPECT_EQ(readFile(dir / "Photos 2" / "a.jpg"), "a");
    EXPECT_FALSE(fs::exists(dir / "broken"));

    result = tarvo({"extract", "--entry", "Photos/b.jpg", "--password-stdin", sevenZip}, "s3cret");
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, (dir / "Photos 3" / "Photos" / "b.jpg").string() + "\n");
    // An entry the archive lacks: a ZIP's listing tells; 7zz ends well having written nothing.
    for (const std::string& archive : {(dir / "Photos.zip").string(), sevenZip}) {
        result = tarvo({"extract", "--entry", "Photos/none.jpg", "--password-stdin", archive}, "s3cret");
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.errors, "tarvo: " + archive + ": That path cannot be extracted.\n");
    }
    EXPECT_FALSE(fs::exists(dir / "Photos 4"));
    // Several entries, or a pattern: each with its path, in one folder named as the whole's; a
    // pattern that matches nothing fails. --filter lists what the preview's search finds.
    result = tarvo({"extract", "--entry", "Photos/*.jpg", "--entry", "Photos/a.jpg", tarGz.string()});
    EXPECT_EQ(result.output, (dir / "out" / "Holiday 2").string() + "\n") << result.errors;
    EXPECT_EQ(tarvo::test::namesIn(dir / "out" / "Holiday 2" / "Photos"), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_EQ(tarvo({"extract", "--entry", "*.png", tarGz.string()}).errors,
              "tarvo: " + tarGz.string() + ": That path cannot be extracted.\n");
    EXPECT_EQ(tarvo({"list", "--filter", "PHOTOS/B", tarGz.string()}).output, "Photos/b.jpg\n");
    auto matched = lines(tarvo({"list", "--filter", "?.jpg", tarGz.string()}).output);
    std::sort(matched.begin(), matched.end());
    EXPECT_EQ(matched, (std::vector<std::string>{"Photos/a.jpg", "Photos/b.jpg"}));
    // A missing archive is named once.
    result = tarvo({"extract", (dir / "nothere.zip").string()});
    EXPECT_EQ(result.errors, "tarvo: " + (dir / "nothere.zip").string() + ": No such file or directory\n");
}

TEST_F(CommandLine, AddDeleteRenameAndParts)
{
    const std::string archive = (dir / "Photos.7z").string();
    ASSERT_EQ(tarvo({"compress", "--format", "7z", "--password-stdin", (dir / "Photos").string()}, "pw\n").status, 0);
    writeFile(dir / "new" / "c.txt", "c");
    const std::string item = (dir / "new" / "c.txt").string();
    ProgramResult result = tarvo({"add", "--password-stdin", "--into", "Photos/", archive, item}, "pw\n");
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, archive + "\n");
    const std::string before = readFile(archive);
    result = tarvo({"add", "--password-stdin", "--into", "Photos", archive, item}, "pw\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.errors, "tarvo: " + archive + ": The archive already holds “Photos/c.txt”.\n");
    EXPECT_EQ(tarvo({"rename", "--password-stdin", archive, "Photos/c.txt", ".."}, "pw\n").errors,
              "tarvo: " + archive + ": A name cannot be empty, “.” or “..”, or contain “/”.\n");
    EXPECT_EQ(readFile(archive), before);
    EXPECT_EQ(tarvo({"add", "--keep-both", "--password-stdin", "--into", "Photos", archive, item}, "pw\n").status, 0);
    EXPECT_EQ(tarvo({"rename", "--password-stdin", archive, "Photos/c 2.txt", "d.txt"}, "pw\n").status, 0);
    EXPECT_EQ(tarvo({"delete", "--password-stdin", archive, "Photos/a.jpg", "Photos/c.txt"}, "pw\n").status, 0);
    EXPECT_EQ(lines(tarvo({"list", "--password-stdin", archive}, "pw\n").output),
              (std::vector<std::string>{"Photos", "Photos/b.jpg", "Photos/d.txt"}));

    writeFile(dir / "Big" / "big.bin", noise(250'000));
    result = tarvo({"compress", "--volume-size", "100k", (dir / "Big").string()});
    EXPECT_EQ(result.output, (dir / "Big.zip.001").string() + "\n") << result.errors;
    EXPECT_TRUE(fs::exists(dir / "Big.zip.003"));
}

TEST_F(CommandLine, UsageLanguageAndSelfTest)
{
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"compress"},
                                               {"compress", "--format", "tgz", "x"},
                                               {"compress", "--format=tar.gz", "--password-stdin", "x"},
                                               {"extract", "--json", "a.zip"},
                                               {"list", "a", "b"},
                                               {"list", "--encoding", "bogus", "a.zip"},
                                               {"list", "--level"},
                                               {"add", "a.zip"},
                                               {"rename", "a.zip", "b"},
                                               {"delete", "--into", "x", "a.zip", "b"},
                                               {"compress", "--volume-size", "0", "x"},
                                               {"compress", "--volume-size", "12Q", "x"},
                                               {"compress", "--format", "tar.gz", "--volume-size", "1M", "x"},
                                               {"frobnicate"}}) {
        const ProgramResult result = tarvo(wrong);
        EXPECT_EQ(result.status, 2) << wrong.front();
        EXPECT_NE(result.errors.find("Usage:"), std::string::npos);
    }
    EXPECT_EQ(tarvo({"--version"}).output, "tarvo 1.0.0\n");
    EXPECT_NE(tarvo({"--help"}).output.find("tarvo extract"), std::string::npos);

    // Messages speak the user's language.
    environment = {"LANGUAGE=", "LC_ALL=", "LC_MESSAGES=", "LANG=de_DE.UTF-8", "TMPDIR=" + tmp.path().string()};
    const ProgramResult german = tarvo({"compress", (dir / "gone").string()});
    EXPECT_EQ(german.status, 1);
    EXPECT_EQ(german.errors, "tarvo: Es gibt nichts zu archivieren.\n");

    const ProgramResult selfTest = tarvo({"--self-test"});
    EXPECT_EQ(selfTest.status, 0) << selfTest.errors;
    EXPECT_TRUE(selfTest.errors.ends_with("SELFTEST OK\n")) << selfTest.errors;
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

TEST_F(CommandLine, InterruptStopsTheToolAndRemovesThePartialArchive)
{
    // A pipe with an archive's name is refused at once: reading it would wait for ever.
    ASSERT_EQ(::mkfifo((dir / "pipe.gz").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe.zip").c_str(), 0600), 0);
    for (const std::vector<std::string>& command :
         std::vector<std::vector<std::string>>{{"extract", (dir / "pipe.gz").string()},
                                               {"extract", "--entry", "a", (dir / "pipe.zip").string()},
                                               {"list", (dir / "pipe.zip").string()}}) {
        const ProgramResult result = tarvo(command);
        EXPECT_EQ(result.status, 1) << command.front();
        EXPECT_NE(result.errors.find("is not a ZIP"), std::string::npos) << result.errors;
    }
    writeFile(dir / "a" / "noise.bin", noise(40 << 20));
    writeFile(dir / "b" / "noise.bin", noise(40 << 20));
    fs::create_directories(dir / "out");
    for (int signal : {SIGINT, SIGTERM}) {
        Program program({TARVO_EXECUTABLE, "compress", "--format", "7z", "--level", "maximum", "--output-dir",
                         (dir / "out").string(), (dir / "a" / "noise.bin").string(),
                         (dir / "b" / "noise.bin").string()},
                        {}, environment);
        // Once 7-Zip writes, the job is under way.
        for (int i = 0; i < 3000 && fs::is_empty(dir / "out"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ::kill(program.pid(), signal);
        const ProgramResult result = program.wait();
        EXPECT_EQ(result.status, 130) << result.errors;
        EXPECT_TRUE(fs::is_empty(dir / "out")) << "partial archive left";
        EXPECT_TRUE(fs::is_empty(tmp.path())) << "staging folder left";
    }
}

// Processes but `except`, not zombies, whose command line mentions `text`.
std::vector<int> processesNaming(const std::string& text, int except = 0)
{
    std::vector<int> found;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
        const std::string pid = it->path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || std::stoi(pid) == ::getpid() ||
            std::stoi(pid) == except) {
            continue;
        }
        std::ifstream stat(it->path() / "stat");
        std::string line;
        std::getline(stat, line);
        if (line.find(") Z ") == std::string::npos &&
            tarvo::test::commandLine(it->path()).find(text) != std::string::npos) {
            found.push_back(std::stoi(pid));
        }
    }
    return found;
}

// Killed outright, as the out-of-memory killer does: its tools stop within a second, and the next
// run of any kind removes the hidden work it left beside the user's files, and nothing else.
TEST_F(CommandLine, AKillStopsTheToolsAndTheNextRunRemovesWhatWasLeft)
{
    writeFile(dir / "a" / "noise.bin", noise(40 << 20));
    writeFile(dir / "b" / "noise.bin", noise(40 << 20));
    const fs::path out = dir / "out";
    fs::create_directories(out);
    runIn(dir.path(), {"zip", "-q", "-0", "-r", "out/stored.zip", "a", "b"});
    writeFile(out / ".tarvo-mine", "the user's own");
    // A tool that never writes a line would outlive Tarvo for ever without a signal that follows it.
    writeFile(out / "note.gz", "\x1f\x8b");
    const fs::path gzip =
        tarvo::test::writeScript(tmp.path() / "data" / "Tarvo" / "bin" / "gzip", "while :; do :; done");
    const std::vector<std::vector<std::string>> commands{
        {TARVO_EXECUTABLE, "compress", "--format", "7z", "--level", "maximum", "--output-dir", out.string(),
         (dir / "a" / "noise.bin").string(), (dir / "b" / "noise.bin").string()},
        {TARVO_EXECUTABLE, "extract", (out / "stored.zip").string()},
        {TARVO_EXECUTABLE, "extract", (out / "note.gz").string()}};
    for (const auto& command : commands) {
        SCOPED_TRACE(command[1]);
        Program program(command, {}, environment);
        const auto working = [&] {
            return std::any_of(fs::directory_iterator(out), fs::directory_iterator(), [](const auto& entry) {
                return entry.path().filename().string().starts_with(".tarvo-") &&
                       entry.path().filename() != ".tarvo-mine";
            });
        };
        // Once its tool works on the hidden file or folder: named by the tool itself, not by a child
        // about to become it, which shows Tarvo's own command line until it starts the tool.
        const std::string mark = command[2].ends_with(".gz") ? gzip.string() : (out / ".tarvo-").string();
        for (int i = 0; i < 3000 && processesNaming(mark, program.pid()).empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::kill(program.pid(), SIGKILL);
        EXPECT_EQ(program.wait().status, 128 + SIGKILL);
        for (int i = 0; i < 100 && !processesNaming(out.string()).empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const std::vector<int> left = processesNaming(out.string());
        EXPECT_EQ(left, std::vector<int>{}) << "a tool outlived Tarvo by a second";
        for (const int pid : left) {
            ::kill(pid, SIGKILL);
        }
        EXPECT_TRUE(working()) << "killed before it began";
        EXPECT_EQ(tarvo({"--version"}).status, 0);
        EXPECT_EQ(tarvo::test::namesIn(out), (std::vector<std::string>{".tarvo-mine", "note.gz", "stored.zip"}));
    }
}

TEST_F(CommandLine, AFullDiskOrAReadOnlyFolderFailsCleanlyAndTheListingWarnsOfIt)
{
    // A small private tmpfs, mounted in a user and mount namespace of our own.
    if (!fs::exists("/usr/bin/unshare") ||
        runProgram({"/usr/bin/unshare", "-rm", "/bin/sh", "-c", "mount -t tmpfs -o size=64k tmpfs /tmp"}).status != 0) {
        GTEST_SKIP() << "cannot mount a private tmpfs here";
    }
    writeFile(dir / "big" / "noise.bin", noise(1 << 20));
    writeFile(dir / "zeros" / "zeros.bin", std::string(4 << 20, '\0'));
    ASSERT_EQ(tarvo({"compress", (dir / "zeros").string()}).status, 0);
    const std::string script = R"(
        mkdir -p "$1/full" "$1/ro"
        mount -t tmpfs -o size=256k tmpfs "$1/full" && mount -t tmpfs -o ro,size=64k tmpfs "$1/ro" || exit 99
        cp "$4" "$1/full/" || exit 98
        "$2" list --json "$1/full/zeros.zip" | grep -o '"exceedsFreeSpace":true'
        "$2" compress --format zip --output-dir "$1/full" "$3"; echo "compress=$?"
        "$2" extract "$1/full/zeros.zip"; echo "extract=$?"
        "$2" compress --output-dir "$1/ro" "$3"; echo "readonly=$?"
        ls -A "$1/full"; ls -A "$1/ro"
    )";
    const ProgramResult result =
        runProgram({"/usr/bin/unshare", "-rm", "/bin/sh", "-c", script, "sh", dir.path().string(), TARVO_EXECUTABLE,
                    (dir / "big").string(), (dir / "zeros.zip").string()},
                   {}, environment);
    // The listing warns that 4 MB will not fit. Both fail with a message; the only thing left on
    // the full disk is the archive copied there.
    EXPECT_EQ(result.output, "\"exceedsFreeSpace\":true\ncompress=1\nextract=1\nreadonly=1\nzeros.zip\n")
        << result.errors;
    EXPECT_NE(result.errors.find("No space left on device"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("zeros.zip: There is not enough free space to unpack this archive."),
              std::string::npos)
        << result.errors;
}

// Sound and damaged archives of each kind, made here by the real tools: the damaged entry named,
// nothing written, and the password taken as extraction takes it.
TEST_F(CommandLine, TestNamesTheDamagedEntryAndWritesNothing)
{
    const fs::path in = dir / "in";
    std::string text;
    for (int i = 0; i < 60000; ++i) {
        text += "entry " + std::to_string(i * 7919 % 100003) + " of the report\n";
    }
    writeFile(in / "a-report.txt", text);
    writeFile(in / "b.txt", "small");
    const auto make = [&](std::vector<std::string> command) {
        EXPECT_EQ(runProgram(command, {}, environment).status, 0) << command.front();
    };
    make({"/usr/bin/bsdtar", "--format", "zip", "-cf", (dir / "t.zip").string(), "-C", dir.path().string(), "in"});
    make({tarvo::test::systemTool("7zz")->string(), "a", "-bso0", (dir / "t.7z").string(), in.string()});
    make({"/usr/bin/bsdtar", "-czf", (dir / "t.tar.gz").string(), "-C", dir.path().string(), "in"});
    make({tarvo::test::systemTool("7zz")->string(), "a", "-bso0", "-psecret", "-mhe=on", (dir / "locked.7z").string(),
          (in / "b.txt").string()});
    // AES, which unzip cannot read.
    make({tarvo::test::systemTool("7zz")->string(), "a", "-bso0", "-tzip", "-mem=AES256", "-psecret",
          (dir / "aes.zip").string(), (in / "b.txt").string()});
    fs::copy_file(in / "a-report.txt", dir / "n");
    make({"/usr/bin/gzip", (dir / "n").string()});
    std::vector<std::string> all;
    for (const char* name : {"t.zip", "t.7z", "t.tar.gz", "n.gz"}) {
        // Sixteen bytes turned in the middle, inside the report's data.
        std::string bytes = readFile(dir / name);
        for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i) {
            bytes[i] = static_cast<char>(bytes[i] ^ 0x55);
        }
        writeFile(dir / ("bad-" + std::string(name)), bytes);
        all.push_back((dir / name).string());
        all.push_back((dir / ("bad-" + std::string(name))).string());
    }
    // A plain tar with one damaged header: bsdtar reads on past it and exits 0.
    make({"/usr/bin/bsdtar", "-cf", (dir / "t.tar").string(), "-C", dir.path().string(), "in"});
    std::string tar = readFile(dir / "t.tar");
    tar[tar.find("in/b.txt") + 148] ^= 1; // the header's checksum
    writeFile(dir / "bad-t.tar", tar);
    all.push_back((dir / "t.tar").string());
    all.push_back((dir / "bad-t.tar").string());
    const auto before = tarvo::test::namesIn(dir.path());

    std::vector<std::string> arguments{"test"};
    arguments.insert(arguments.end(), all.begin(), all.end());
    const ProgramResult result = tarvo(arguments);
    EXPECT_EQ(result.status, 1) << result.errors;
    EXPECT_EQ(lines(result.output),
              (std::vector<std::string>{
                  all[0] + ": No errors found.", all[1] + ": Damaged: in/a-report.txt.", all[2] + ": No errors found.",
                  // The rest of a solid block is lost with it.
                  all[3] + ": Damaged: in/a-report.txt, in/b.txt.", all[4] + ": No errors found.",
                  // gzip's one checksum covers the whole stream, and tar keeps none of a file's data.
                  all[5] + ": Damaged; the tool could not tell which entry.", all[6] + ": No errors found.",
                  all[7] + ": Damaged: bad-n.", all[8] + ": No errors found.",
                  // The damaged header's name is lost; the entries around it are intact.
                  all[9] + ": Damaged; the tool could not tell which entry."}));
    EXPECT_EQ(tarvo({"test", all[0], all[2], all[4], all[6], all[8]}).status, 0);

    const std::string locked = (dir / "locked.7z").string();
    EXPECT_EQ(tarvo({"test", "--password-stdin", locked}, "secret\n").output, locked + ": No errors found.\n");
    const ProgramResult wrong = tarvo({"test", "--password-stdin", locked}, "wrong\n");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.errors, "tarvo: " + locked + ": Wrong password.\n");
    const std::string aes = (dir / "aes.zip").string();
    EXPECT_EQ(tarvo({"test", "--password-stdin", aes}, "secret\n").output, aes + ": No errors found.\n");
    // Without one, too: not taken for damage.
    EXPECT_EQ(tarvo({"test", locked}).errors, "tarvo: " + locked + ": Wrong password.\n");
    EXPECT_EQ(tarvo({"test", aes}).errors, "tarvo: " + aes + ": Wrong password.\n");
    EXPECT_EQ(tarvo::test::namesIn(dir.path()), before);
}

// --verify tests the new archive; one that fails its test is kept and named, with exit status 1.
TEST_F(CommandLine, CompressVerifyKeepsADamagedArchive)
{
    const std::string photos = (dir / "Photos").string();
    ProgramResult result = tarvo({"compress", "--verify", "--format", "7z", "--name", "Sound", photos});
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, (dir / "Sound.7z").string() + "\n");

    // A 7zz in Tarvo's tool folder that makes a broken archive and finds it so.
    tarvo::test::writeScript(
        tmp / "data" / "Tarvo" / "bin" / "7zz",
        "[ \"$1\" = t ] && { echo 'ERROR: CRC Failed : Photos/a.jpg'; exit 2; }\n"
        "prev=''; for a; do [ \"$a\" = -- ] && { echo broken > \"$prev\"; break; }; prev=$a; done\n");
    result = tarvo({"compress", "--verify", "--format", "7z", "--name", "Broken", photos});
    const std::string broken = (dir / "Broken.7z").string();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, broken + "\n");
    EXPECT_EQ(result.errors,
              "tarvo: " + broken + ": The archive was made, but its test found damage. Damaged: Photos/a.jpg.\n");
    EXPECT_TRUE(fs::exists(broken));
}

TEST(DesktopLaunch, ArgumentsBecomeOneRequest)
{
    using tarvo::app::DesktopRequest;
    const fs::path here("/home/u/Downloads");
    EXPECT_EQ(DesktopRequest::parse({}, here).kind, DesktopRequest::Kind::none);
    // "--finder" with nothing after it asks for nothing; what stands before it does not count.
    EXPECT_EQ(DesktopRequest::parse({"x", "--finder"}, here).kind, DesktopRequest::Kind::none);

    const DesktopRequest finder = DesktopRequest::parse({"-v", "--finder", "extract", "A.zip", "/b/c.7z"}, here);
    EXPECT_EQ(finder.kind, DesktopRequest::Kind::finder);
    EXPECT_EQ(finder.action, "extract");
    EXPECT_EQ(finder.paths, (std::vector<std::string>{"/home/u/Downloads/A.zip", "/b/c.7z"}));
    EXPECT_TRUE(DesktopRequest::parse({"--finder", "compress"}, here).paths.empty());

    const DesktopRequest open = DesktopRequest::parse({"../x.zip", "-dash"}, here);
    EXPECT_EQ(open.kind, DesktopRequest::Kind::open);
    EXPECT_EQ(open.paths, (std::vector<std::string>{"/home/u/x.zip", "/home/u/Downloads/-dash"}));

    // The command line keeps its commands, options and typos.
    EXPECT_TRUE(DesktopRequest::isDesktopLaunch({}));
    EXPECT_TRUE(DesktopRequest::isDesktopLaunch({"/nowhere/a.zip"}));
    EXPECT_TRUE(DesktopRequest::isDesktopLaunch({"--self", "--finder"}));
    EXPECT_FALSE(DesktopRequest::isDesktopLaunch({"--bogus"}));
    EXPECT_FALSE(DesktopRequest::isDesktopLaunch({"frobnicate"}));
}
