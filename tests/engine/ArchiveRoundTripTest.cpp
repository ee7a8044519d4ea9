// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/ToolLocator.h"
#include "engine/vocabulary/ArchiveError.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace tarvo::engine;
using namespace std::chrono_literals;
using namespace tarvo::test;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

// Names that a tool could read as an option, a list file or a pattern.
const char* const kAwkwardNames[] = {"-T.txt", "--help", "a[1].txt", "*.txt", "@x", "back\\slash.txt"};

class RoundTrip : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TARVO_SKIP_WITHOUT("zip", "unzip", "bsdtar", "7zz", "unar", "lsar");
        tools = ToolLocator::rarSupport();
        for (const char* name : kAwkwardNames) {
            writeFile(dir / "Pack" / name, name);
        }
        writeFile(dir / "Pack" / "a1.txt", "decoy");
        writeFile(dir / "Pack" / "Photos" / "Photos" / "a.jpg", "jpg");
        writeFile(dir / "Pack" / ".DS_Store", "junk");
        writeFile(dir / "Pack" / "Old" / ".AppleDouble" / "x", "junk");
        fs::create_directories(dir / "Pack" / "Empty");
        fs::create_directories(dir / "tmp");
    }

    fs::path pack(std::vector<fs::path> items, ArchiveFormat format, const std::string& password = {},
                  const std::string& name = {}, const RunControl& control = {})
    {
        fs::create_directories(dir / "out");
        return ArchiveEngine::compress({.items = std::move(items),
                                        .format = format,
                                        .name = name,
                                        .password = password,
                                        .directory = dir / "out",
                                        .tools = tools,
                                        .control = control});
    }

    TempDir dir;
    const ScopedEnv tmp{"TMPDIR", (dir / "tmp").string()};
    RarSupport tools;
};

} // namespace

TEST_F(RoundTrip, EveryFormatKeepsAwkwardNamesProtectsAndLeavesHousekeepingOut)
{
    RarSupport unarOnly = tools;
    unarOnly.sevenZip.reset();
    struct Case
    {
        ArchiveFormat format;
        std::string password;
        RarSupport support;
    };
    const Case cases[] = {{ArchiveFormat::zip, "", tools},           {ArchiveFormat::zip, "zip pass", tools},
                          {ArchiveFormat::tarGz, "ignored", tools},  {ArchiveFormat::sevenZip, "", tools},
                          {ArchiveFormat::sevenZip, "seven", tools}, {ArchiveFormat::sevenZip, "seven", unarOnly}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format.rawValue()) + " via " + c.support.sevenZip.value_or("unar").string());
        const fs::path archive = pack({dir / "Pack"}, c.format, c.password);
        EXPECT_EQ(archive.filename(), "Pack." + std::string(c.format.rawValue()));
        std::optional<std::string> password;
        if (!c.password.empty() && c.format != ArchiveFormat::tarGz) {
            password = " " + c.password + " ";
            EXPECT_EQ(failureOf([&] { ArchiveEngine::extract(archive, c.support, std::nullopt, {}); }),
                      ArchiveError::Case::wrongPassword);
            EXPECT_EQ(namesIn(dir / "out"), Names{archive.filename().string()}) << "a failed extraction left something";
        }
        // Header encryption hides the names: without the right password the listing asks for it.
        if (password && c.format == ArchiveFormat::sevenZip) {
            for (const char* wrong : {"", "wrong"}) {
                EXPECT_EQ(failureOf([&] {
                              ArchiveCatalog::list({.archive = archive, .password = wrong, .tools = c.support});
                          }),
                          ArchiveError::Case::wrongPassword);
            }
        }
        const ArchiveListing listing =
            ArchiveCatalog::list({.archive = archive, .password = password.value_or(""), .tools = c.support});
        EXPECT_EQ(listing.isEncrypted, password.has_value());
        EXPECT_NE(std::ranges::find(listing.entries, ArchiveEntry{"Pack/a[1].txt", 8, false}), listing.entries.end());
        const fs::path result = ArchiveEngine::extract(archive, c.support, password, {});
        EXPECT_EQ(result, dir / "out" / "Pack");
        for (const std::string name : kAwkwardNames) {
            // unar reads a backslash in a 7Z name as a folder separator, as Windows would.
            if (name.find('\\') == std::string::npos || c.support.sevenZip) {
                EXPECT_EQ(readFile(result / name), name);
            }
        }
        EXPECT_EQ(readFile(result / "Photos" / "Photos" / "a.jpg"), "jpg");
        EXPECT_TRUE(fs::is_directory(result / "Empty"));
        EXPECT_FALSE(fs::exists(result / ".DS_Store"));
        EXPECT_FALSE(fs::exists(result / "Old" / ".AppleDouble"));

        for (const std::string entry : {"Pack/a[1].txt", "Pack/*.txt", "Pack/-T.txt"}) {
            const fs::path taken = ArchiveEngine::extractEntry(
                {.archive = archive, .entry = entry, .tools = c.support, .password = password});
            EXPECT_EQ(readFile(taken), fs::path(entry).filename().string()) << entry;
            EXPECT_EQ(namesIn(taken.parent_path()).size(), 1u) << entry << " brought company";
            fs::remove_all(taken.parent_path().parent_path());
        }
        const fs::path folder = ArchiveEngine::extractEntry(
            {.archive = archive, .entry = "Pack/Photos", .tools = c.support, .password = password});
        EXPECT_EQ(readFile(folder / "Photos" / "a.jpg"), "jpg");
        fs::remove_all(folder.parent_path().parent_path());
        // Several at once, each with its path and nothing else, into one folder named as the whole's.
        const fs::path several = ArchiveEngine::extractEntries(
            {.archive = archive,
             .tools = c.support,
             .password = password,
             .entries = {"Pack/Photos/Photos/a.jpg", "Pack/*.txt", "Pack/Photos", "Pack/a[1].txt", "Pack/Empty"}});
        EXPECT_EQ(several, dir / "out" / "Pack 2");
        Names landed;
        for (const auto& entry : fs::recursive_directory_iterator(several)) {
            landed.push_back(fs::relative(entry.path(), several).string());
        }
        std::sort(landed.begin(), landed.end());
        EXPECT_EQ(landed, (Names{"Pack", "Pack/*.txt", "Pack/Empty", "Pack/Photos", "Pack/Photos/Photos",
                                 "Pack/Photos/Photos/a.jpg", "Pack/a[1].txt"}));
        fs::remove_all(several);
        fs::remove_all(result);
        fs::remove(archive);
    }
    EXPECT_EQ(namesIn(dir / "out"), Names{});
    EXPECT_EQ(namesIn(dir / "tmp"), Names{});

    // An archive whose own name holds pattern characters, beside one its pattern would match.
    writeFile(dir / "names" / "right.txt", "right");
    writeFile(dir / "names" / "wrong.txt", "wrong");
    fs::rename(pack({dir / "names" / "right.txt"}, ArchiveFormat::zip), dir / "out" / "R[1]*.zip");
    fs::rename(pack({dir / "names" / "wrong.txt"}, ArchiveFormat::zip), dir / "out" / "R1x.zip");
    EXPECT_EQ(namesIn(ArchiveEngine::extract(dir / "out" / "R[1]*.zip", tools, std::nullopt, {})), Names{"right.txt"});

    RarSupport noLister = tools;
    noLister.lister.reset();
    noLister.entryLister.reset();
    EXPECT_THROW(ArchiveCatalog::list({.archive = dir / "out" / "R1x.zip", .tools = noLister}), ArchiveError);
}

TEST_F(RoundTrip, NamingStagingAndValidation)
{
    ScopedLanguage english(AppLanguage::english);
    writeFile(dir / "a" / "x.txt", "a");
    writeFile(dir / "b" / "x.txt", "b");
    writeFile(dir / "a" / "Docs" / "d.txt", "a");
    writeFile(dir / "b" / "Docs" / "d.txt", "b");

    // Items from several folders are staged, clashing names renamed, and the staging removed.
    const fs::path mixed =
        pack({dir / "a" / "x.txt", dir / "b" / "x.txt", dir / "a" / "Docs", dir / "b" / "Docs"}, ArchiveFormat::zip);
    EXPECT_EQ(mixed.filename(), "Archive.zip");
    EXPECT_EQ(namesIn(dir / "out"), Names{"Archive.zip"}) << "the staging folder stayed";
    const fs::path result = ArchiveEngine::extract(mixed, tools, std::nullopt, {});
    EXPECT_EQ(namesIn(result), (Names{"Docs", "Docs 2", "x 2.txt", "x.txt"}));
    EXPECT_EQ(readFile(result / "x 2.txt"), "b");
    EXPECT_EQ(readFile(result / "Docs 2" / "d.txt"), "b");
    EXPECT_EQ(pack({dir / "a" / "x.txt"}, ArchiveFormat::zip, "", " My/Set.ZIP ").filename(), "My-Set.zip");

    // Staged by hard links, no second copy, in a folder nobody else may enter: a file that only its
    // private parent protected stays protected. Across file systems, a copy.
    fs::permissions(dir / "a", fs::perms::owner_all);
    fs::permissions(dir / "a" / "Docs", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    const auto info = [](const fs::path& path) {
        struct stat data
        {};
        EXPECT_EQ(::lstat(path.c_str(), &data), 0) << path;
        return data;
    };
    std::vector<fs::path> items = {dir / "a" / "x.txt", dir / "b" / "x.txt", dir / "a" / "Docs"};
    const bool otherFileSystem = fs::is_directory("/dev/shm") && info("/dev/shm").st_dev != info(dir.path()).st_dev;
    std::optional<TempDir> elsewhere;
    if (otherFileSystem) {
        elsewhere.emplace("/dev/shm");
        writeFile(*elsewhere / "far.txt", "far");
        items.push_back(*elsewhere / "far.txt");
    }
    const fs::path staged = ArchiveEngine::stage(items, dir / "out");
    EXPECT_EQ(staged.parent_path(), dir / "out");
    EXPECT_EQ(info(staged).st_mode & 07777, 0700u);
    EXPECT_EQ(info(staged / "x 2.txt").st_ino, info(dir / "b" / "x.txt").st_ino);
    EXPECT_EQ(info(staged / "Docs" / "d.txt").st_nlink, 2u);
    EXPECT_EQ(info(staged / "Docs").st_mode & 07777, 0750u);
    if (otherFileSystem) {
        EXPECT_EQ(info(staged / "far.txt").st_nlink, 1u);
        EXPECT_EQ(readFile(staged / "far.txt"), "far");
    }

    // Into the folder being packed, or below it: refused, nothing written.
    CompressRequest inside;
    inside.items = {dir / "a"};
    for (const fs::path& target : {dir / "a" / "Docs", dir / "a"}) {
        inside.directory = target;
        EXPECT_EQ(failureOf([&] { ArchiveEngine::compress(inside); }), ArchiveError::Case::destinationInsideSource);
    }
    EXPECT_EQ(namesIn(dir / "a" / "Docs"), Names{"d.txt"});
    inside.items = {dir / "a" / "x.txt"};
    EXPECT_EQ(ArchiveEngine::compress(inside), dir / "a" / "x.zip");

    // Items that vanished are passed over; none left, or only housekeeping files, is nothing to archive.
    writeFile(dir / "junk" / ".DS_Store", "");
    EXPECT_EQ(failureOf([&] { pack({dir / "gone"}, ArchiveFormat::zip); }), ArchiveError::Case::noInputs);
    EXPECT_EQ(failureOf([&] { pack({dir / "junk" / ".DS_Store"}, ArchiveFormat::zip); }), ArchiveError::Case::noInputs);
    EXPECT_EQ(pack({dir / "gone", dir / "b" / "x.txt"}, ArchiveFormat::zip).filename(), "x.zip");
}

TEST_F(RoundTrip, CancellingRemovesThePartialArchiveAndTheStagingFolder)
{
    // Incompressible data keeps the tool busy long enough to be cancelled mid-way.
    const std::string noise = tarvo::test::noise(12 << 20);
    writeFile(dir / "one" / "noise.bin", noise);
    writeFile(dir / "two" / "noise.bin", noise);
    for (ArchiveFormat format : {ArchiveFormat::sevenZip, ArchiveFormat::zip}) {
        RunControl control{std::make_shared<ArchiveSession>(), {}};
        std::thread canceller([&] {
            // Once the tool has begun writing in the output folder it is at work: staging (by links)
            // writes no file there.
            const auto writing = [&] {
                std::error_code error;
                for (fs::recursive_directory_iterator it(dir / "out", error), end; !error && it != end;
                     it.increment(error)) {
                    if (it->is_regular_file(error) && it->path().filename() != "noise.bin") {
                        return true;
                    }
                }
                return false;
            };
            for (int i = 0; i < 2000 && !writing(); ++i) {
                std::this_thread::sleep_for(2ms);
            }
            control.session->cancel();
        });
        EXPECT_EQ(failureOf([&] {
                      pack({dir / "one" / "noise.bin", dir / "two" / "noise.bin"}, format, "", "", control);
                  }),
                  ArchiveError::Case::cancelled);
        canceller.join();
        EXPECT_EQ(namesIn(dir / "out"), Names{}) << format.rawValue();
        EXPECT_EQ(namesIn(dir / "tmp"), Names{}) << format.rawValue();
    }
    EXPECT_EQ(readFile(dir / "one" / "noise.bin").size(), noise.size());
}

TEST_F(RoundTrip, NoPasswordOnACommandLineButUnars)
{
    // Busy for a while, so that a tool's command line can be read while it runs.
    writeFile(dir / "Big" / "noise.bin", noise(16 << 20));
    writeFile(dir / "Big" / "note.txt", "note");
    const std::string secret = "Zq7-unlikely-secret";
    // Every tool whose arguments held the secret, read as any user of the machine can; the watcher's alone
    // until it is joined.
    std::set<std::string> seen;
    std::jthread watcher([&](const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            // Processes come and go while the folder is read: no step may throw.
            std::error_code error;
            for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
                const std::string line = commandLine(it->path());
                if (line.find(secret) != std::string::npos) {
                    seen.insert(fs::path(line.substr(0, line.find('\0'))).filename().string());
                }
            }
        }
    });
    // AES by 7-Zip, ZipCrypto by zip, and 7Z.
    fs::create_directories(dir / "out");
    for (const auto& [format, encryption] :
         {std::pair{ArchiveFormat::zip, ZipEncryption::aes256}, std::pair{ArchiveFormat::zip, ZipEncryption::zipCrypto},
          std::pair{ArchiveFormat::sevenZip, ZipEncryption::aes256}}) {
        const fs::path archive = ArchiveEngine::compress({.items = {dir / "Big"},
                                                          .format = format,
                                                          .name = std::string(rawValue(encryption)),
                                                          .password = secret,
                                                          .zipEncryption = encryption,
                                                          .directory = dir / "out",
                                                          .tools = tools});
        SCOPED_TRACE(archive.filename());
        EXPECT_TRUE(ArchiveCatalog::list({.archive = archive, .password = secret, .tools = tools}).isEncrypted);
        EXPECT_EQ(readFile(ArchiveEngine::extract(archive, tools, secret, {}) / "note.txt"), "note");
        // A wrong answer ends as a wrong password; the tool is never left waiting for another.
        EXPECT_EQ(failureOf([&] { ArchiveEngine::extract(archive, tools, "wrong", {}); }),
                  ArchiveError::Case::wrongPassword);
    }
    EXPECT_NE(runProgram({"/usr/bin/7zz", "l", "-slt", (dir / "out" / "aes256.zip").string()}).output.find("AES-256"),
              std::string::npos);
    // A damaged download: its first local header broken, which Tarvo's own lister cannot read past,
    // so that lsar lists it, and unzip's test names the damage through that listing.
    const fs::path damaged = dir / "out" / "damaged.zip";
    std::string bytes = readFile(dir / "out" / "zipcrypto.zip");
    bytes[bytes.find("PK\x03\x04") + 2] = 'X';
    writeFile(damaged, bytes);
    EXPECT_FALSE(ArchiveCatalog::list({.archive = damaged, .password = secret, .tools = tools}).entries.empty());
    EXPECT_FALSE(ArchiveEngine::test(damaged, tools, secret, {}).sound);
    EXPECT_NO_THROW(
        ArchiveEngine::extractEntry({.archive = damaged, .entry = "Big/note.txt", .tools = tools, .password = secret}));
    // Where no other way exists, unar takes it as an argument: the watch does see that.
    RarSupport unarOnly = tools;
    unarOnly.sevenZip.reset();
    EXPECT_EQ(readFile(ArchiveEngine::extract(dir / "out" / "aes256.7z", unarOnly, secret, {}) / "note.txt"), "note");
    watcher.request_stop();
    watcher.join();
    EXPECT_EQ(seen, std::set<std::string>{"unar"});
}

// zip's and unzip's terminal take 80 bytes, 7-Zip's AES 99 ASCII characters: what one refuses goes to
// another that takes it, and what none takes is refused before any work, never as a wrong password.
TEST_F(RoundTrip, ZipPasswordsBeyondWhatTheTerminalTakes)
{
    const std::string longer(100, 'p');
    const auto zipWith = [&](const std::string& password, ZipEncryption encryption) {
        return ArchiveEngine::compress({.items = {dir / "Pack" / "a1.txt"},
                                        .password = password,
                                        .zipEncryption = encryption,
                                        .directory = dir / "out",
                                        .tools = tools});
    };
    fs::create_directories(dir / "out");
    EXPECT_EQ(failureOf([&] { zipWith(longer, ZipEncryption::aes256); }), ArchiveError::Case::aesPasswordTooLong);
    EXPECT_EQ(failureOf([&] { zipWith("пароль", ZipEncryption::aes256); }), ArchiveError::Case::aesPasswordTooLong);
    EXPECT_EQ(namesIn(dir / "out"), Names{});
    RarSupport without7zz = tools;
    without7zz.sevenZip.reset();
    EXPECT_EQ(
        failureOf([&] {
            ArchiveEngine::compress(
                {.items = {dir / "Pack" / "a1.txt"}, .password = "p", .directory = dir / "out", .tools = without7zz});
        }),
        ArchiveError::Case::aesNeedsSevenZip);

    const fs::path archive = zipWith(longer, ZipEncryption::zipCrypto);
    EXPECT_EQ(readFile(ArchiveEngine::extract(archive, tools, longer, {}) / "a1.txt"), "decoy");
    EXPECT_TRUE(ArchiveEngine::test(archive, tools, longer, {}).sound);
    EXPECT_EQ(failureOf([&] { ArchiveEngine::test(archive, tools, longer + "x", {}); }),
              ArchiveError::Case::wrongPassword);
    EXPECT_EQ(failureOf([&] { ArchiveEngine::test(archive, without7zz, longer, {}); }),
              ArchiveError::Case::zipPasswordTooLong);
}

TEST_F(RoundTrip, FlatteningLiftsOnlyALoneRealFolder)
{
    // What the archive holds (built from a folder), and what the result folder must hold.
    const std::pair<std::vector<std::pair<std::string, std::string>>, Names> cases[] = {
        {{{"a.txt", "1"}}, {"a.txt"}},
        {{{"Photos/a.jpg", "1"}, {".hidden", "h"}}, {".hidden", "a.jpg"}},
        {{{"one/a", "1"}, {"two/b", "2"}}, {"one", "two"}},
        {{{"Photos/Photos/a.jpg", "1"}}, {"Photos"}},
        {{{"Photos/.hidden", "in"}, {".hidden", "top"}}, {".hidden", "Photos"}},
    };
    int n = 0;
    for (const auto& [files, expected] : cases) {
        const fs::path source = dir / ("src" + std::to_string(++n));
        for (const auto& [path, content] : files) {
            writeFile(source / path, content);
        }
        const std::vector<fs::path> items(fs::directory_iterator(source), fs::directory_iterator{});
        for (ArchiveFormat format : {ArchiveFormat::zip, ArchiveFormat::tarGz, ArchiveFormat::sevenZip}) {
            const fs::path result =
                ArchiveEngine::extract(pack(items, format, "", "Case" + std::to_string(n)), tools, std::nullopt, {});
            EXPECT_EQ(result.filename(), "Case" + std::to_string(n));
            EXPECT_EQ(namesIn(result), expected) << "case " << n << " " << format.rawValue();
            fs::remove_all(result);
        }
    }
    const fs::path archive = pack({dir / "Pack" / "Photos"}, ArchiveFormat::zip, "", "Twice");
    EXPECT_EQ(ArchiveEngine::extract(archive, tools, std::nullopt, {}).filename(), "Twice");
    EXPECT_EQ(ArchiveEngine::extract(archive, tools, std::nullopt, {}).filename(), "Twice 2");
}

TEST_F(RoundTrip, RarFilesReadThroughUnarAndTestedThroughLsar)
{
    const fs::path fixtures = fs::path(TARVO_FIXTURES_DIR) / "rar";
    if (!fs::exists(fixtures / "rar3-subdirs.rar")) {
        GTEST_SKIP() << "the RAR fixtures are not beside the project";
    }
    fs::copy(fixtures, dir / "rar");
    RarSupport support = tools; // no unrar here: unar extracts
    ASSERT_EQ(support.extractor, support.unar);
    const fs::path subdirs = dir / "rar" / "rar3-subdirs.rar";
    const fs::path result = ArchiveEngine::extract(subdirs, support, std::nullopt, {});
    EXPECT_EQ(namesIn(result), (Names{"dir1", "dir2", "empty", "with space", "üȵĩöḋè"}));
    EXPECT_FALSE(readFile(result / "with space" / "long fn.txt").empty());
    const fs::path folder =
        ArchiveEngine::extractEntry({.archive = subdirs, .entry = "sub/with space", .tools = support});
    EXPECT_EQ(namesIn(folder), Names{"long fn.txt"});
    EXPECT_EQ(namesIn(folder.parent_path()), Names{"with space"});

    // With RARLAB's unrar present, a folder entry still goes to unar, which picks it exactly.
    support.extractor = writeScript(dir / "bin" / "unrar", "exit 9");
    EXPECT_EQ(namesIn(ArchiveEngine::extractEntry({.archive = subdirs, .entry = "sub/dir1", .tools = support})),
              Names{"file1.txt"});
    support.extractor = support.unar;

    for (const char* name : {"rar5-psw.rar", "rar5-hpsw.rar"}) {
        const fs::path archive = dir / "rar" / name;
        for (const auto& wrong : {std::optional<std::string>("wrong"), std::optional<std::string>()}) {
            EXPECT_EQ(failureOf([&] { ArchiveEngine::extract(archive, support, wrong, {}); }),
                      ArchiveError::Case::wrongPassword)
                << name;
        }
        EXPECT_EQ(namesIn(ArchiveEngine::extract(archive, support, "password", {})),
                  (Names{"stest1.txt", "stest2.txt"}))
            << name;
    }
    EXPECT_EQ(failureOf([&] { ArchiveCatalog::list({.archive = dir / "rar" / "rar5-hpsw.rar", .tools = support}); }),
              ArchiveError::Case::wrongPassword);

    // lsar tests: a sound archive, one with a turned byte, and a wrong password.
    const fs::path sound = dir / "rar" / "test_read_format_rar5_multiple_files.rar";
    EXPECT_TRUE(ArchiveEngine::test(sound, support, std::nullopt, {}).sound);
    std::string bytes = readFile(sound);
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 8; ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ 0x55);
    }
    writeFile(dir / "bad.rar", bytes);
    EXPECT_FALSE(ArchiveEngine::test(dir / "bad.rar", support, std::nullopt, {}).sound);
    EXPECT_EQ(failureOf([&] { ArchiveEngine::test(dir / "rar" / "rar5-psw.rar", support, "wrong", {}); }),
              ArchiveError::Case::wrongPassword);
}
