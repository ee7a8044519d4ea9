#include "PasswordFailure.h"

#include "ArchiveError.h"
#include "ProcessRunner.h"
#include "TestSupport.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace tarvo::engine;
using tarvo::test::systemTool;
using tarvo::test::TempDir;
using tarvo::test::writeFile;

namespace {

// Names that carry the tools' own password texts.
const char* const kTreacherousNames[] = {
    "wrong password.txt",
    "Bad Password notes",
    "incorrect password",
    "skipping:  incorrect password",
    "Cannot open encrypted archive. Wrong password?",
    "ERROR: Data Error in encrypted file. Wrong password? : x",
    "Failed! (Missing or wrong password)",
    "This archive requires a password to unpack. Use the -p option to provide one.",
    "The specified password is incorrect.",
    "unable to get password",
};

ArchiveError::Case failureOf(const ToolRun& run, bool capture = false)
{
    try {
        if (capture) {
            ProcessRunner::capture(run);
        } else {
            ProcessRunner::run(run);
        }
    } catch (const ArchiveError& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "the run succeeded";
    return ArchiveError::Case::toolFailed;
}

ToolRun tool(const std::filesystem::path& executable, std::vector<std::string> arguments,
             std::set<std::int32_t> success = {0})
{
    ToolRun run;
    run.executable = executable;
    run.arguments = std::move(arguments);
    run.successCodes = std::move(success);
    return run;
}

} // namespace

TEST(PasswordFailure, RecognisesEachToolsOwnWords)
{
    using Family = PasswordFailure::Family;
    struct Line
    {
        Family family;
        const char* text;
    };
    const Line failures[] = {
        {Family::unzip, "skipping: d/wrong password.txt    incorrect password"},
        {Family::unzip, "skipping: d/plain.txt             unable to get password"},
        {Family::unzip, "SKIPPING: A.TXT  INCORRECT PASSWORD"},
        {Family::sevenZip, "Cannot open encrypted archive. Wrong password?"},
        {Family::sevenZip, "ERROR: henc.7z : Cannot open encrypted archive. Wrong password?"},
        {Family::sevenZip, "ERROR: Data Error in encrypted file. Wrong password? : d/plain.txt"},
        {Family::sevenZip, "ERROR: CRC Failed in encrypted file. Wrong password? : a.bin"},
        {Family::unar, "d/wrong password.txt  (6 B)... Failed! (Missing or wrong password)"},
        {Family::unar, "Archive parsing failed! (Missing or wrong password.)"},
        {Family::unar,
         "d/a.txt  (2 B)... This archive requires a password to unpack. Use the -p option to provide one."},
        {Family::unar, "/x/henc.7z: This archive requires a password to unpack. Use the -p option to provide one."},
        {Family::unar, "This archive requires a password to unpack. Use the -p option to provide one."},
        {Family::unrar, "The specified password is incorrect."},
        {Family::unrar, "Checksum error in the encrypted file notes.txt. Corrupt file or wrong password."},
        {Family::unrar, "Incorrect password for notes.txt"},
    };
    for (const Line& line : failures) {
        EXPECT_TRUE(PasswordFailure::matchesLine(line.text, line.family)) << line.text;
        EXPECT_TRUE(PasswordFailure::matchesLine(line.text, Family::any)) << line.text;
    }
    // The same words inside names, as each tool prints them when it succeeds.
    const Line names[] = {
        {Family::none, "adding: wrong password.txt (stored 0%)"},
        {Family::none,
         "x Bad Password notes/This archive requires a password to unpack. Use the -p option to provide one."},
        {Family::unzip, "inflating: /home/u/wrong password/incorrect password"},
        {Family::unzip, "extracting: out/skipping:  incorrect password"},
        {Family::unzip, "Archive:  /home/u/unable to get password"},
        {Family::sevenZip, "Creating archive: /tmp/Cannot open encrypted archive. Wrong password?"},
        {Family::sevenZip, "- Bad Password notes/Cannot open encrypted archive. Wrong password?"},
        {Family::sevenZip, "+ ERROR: Data Error in encrypted file. Wrong password? : x"},
        {Family::sevenZip, "- x/This archive requires a password to unpack. Use the -p option to provide one."},
        {Family::unar, "Failed! (Missing or wrong password)  (6 B)... OK."},
        {Family::unar, "This archive requires a password to unpack. Use the -p option to provide one.  (2 B)... OK."},
        {Family::unar,
         "\"XADFileName\": \"This archive requires a password to unpack. Use the -p option to provide one.\","},
        {Family::unar, "Successfully extracted to \"/x/Failed! (Missing or wrong password)\"."},
        {Family::unrar, "Extracting  Incorrect password for x     OK"},
        {Family::any, "wrong password"},
        {Family::any, "bad password"},
        {Family::any, "Path = /tmp/wrong password.7z"},
    };
    for (const Line& line : names) {
        EXPECT_FALSE(PasswordFailure::matchesLine(line.text, line.family)) << line.text;
    }
    EXPECT_EQ(PasswordFailure::familyOf("lsar"), Family::unar);
    EXPECT_EQ(PasswordFailure::familyOf("7z"), Family::sevenZip);
    EXPECT_EQ(PasswordFailure::familyOf("bsdtar"), Family::none);
    EXPECT_EQ(PasswordFailure::familyOf("fake-tool"), Family::any);
}

// Real tools, both sides: names full of password words succeed; real password failures,
// including a missing password, are recognised.
class RealToolPasswords : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const auto missing = tarvo::test::missingTool({"zip", "unzip", "7zz", "unar", "lsar", "bsdtar"})) {
            GTEST_SKIP() << *missing;
        }
        source = dir / "Bad Password notes";
        for (const char* name : kTreacherousNames) {
            writeFile(source / name, name);
        }
        writeFile(source / "wrong password" / "inner.txt", "x");
        out = dir / "wrong password out";
        std::filesystem::create_directories(out);
    }

    TempDir dir;
    std::filesystem::path source;
    std::filesystem::path out;
};

TEST_F(RealToolPasswords, NamesWithPasswordWordsDoNotFailAJob)
{
    const auto zip = dir / "incorrect password.zip";
    const auto sevenZip = dir / "wrong password.7z";
    const auto tarGz = dir / "bad password.tar.gz";

    ToolRun zipRun = tool("/usr/bin/zip", {"-r", "-y", zip.string(), "--", source.filename().string()});
    zipRun.currentDirectory = dir.path();
    int added = 0;
    ProcessRunner::run(zipRun, [&](std::string_view line) { added += line.starts_with("adding:"); });
    EXPECT_GE(added, 10);

    ToolRun sevenRun =
        tool("/usr/bin/7zz", {"a", "-bb1", "-snl", "-y", sevenZip.string(), "--", source.filename().string()});
    sevenRun.currentDirectory = dir.path();
    ProcessRunner::run(sevenRun);
    ToolRun tarRun = tool("/usr/bin/bsdtar", {"-cvzf", tarGz.string(), "--", source.filename().string()});
    tarRun.currentDirectory = dir.path();
    ProcessRunner::run(tarRun);

    ProcessRunner::run(tool("/usr/bin/unzip", {"-o", zip.string(), "-d", (out / "unzip").string()}, {0, 1}));
    ProcessRunner::run(
        tool("/usr/bin/7zz", {"x", "-bb1", "-y", "-p", "-o" + (out / "7zz").string(), sevenZip.string()}));
    ProcessRunner::run(tool("/usr/bin/unar", {"-no-directory", "-o", (out / "unar").string(), "--", zip.string()}));
    std::filesystem::create_directories(out / "tar");
    ProcessRunner::run(tool("/usr/bin/bsdtar", {"-xvzf", tarGz.string(), "-C", (out / "tar").string()}));
    const std::string listing = ProcessRunner::capture(tool("/usr/bin/lsar", {"-json", "--", sevenZip.string()}));
    EXPECT_NE(listing.find("Failed! (Missing or wrong password)"), std::string::npos);

    for (const char* folder : {"unzip", "7zz", "unar", "tar"}) {
        for (const char* name : kTreacherousNames) {
            EXPECT_EQ(tarvo::test::readFile(out / folder / "Bad Password notes" / name), name) << folder;
        }
    }
}

TEST_F(RealToolPasswords, WrongAndMissingPasswordsAreRecognised)
{
    using Case = ArchiveError::Case;
    const auto zip = dir / "protected.zip";
    const auto sevenZip = dir / "protected.7z";
    const auto hidden = dir / "hidden names.7z";
    const std::string name = source.filename().string();
    ToolRun make = tool("/usr/bin/zip", {"-r", "-P", "secret", zip.string(), "--", name});
    make.currentDirectory = dir.path();
    ProcessRunner::run(make);
    make = tool("/usr/bin/7zz", {"a", "-psecret", "-snl", sevenZip.string(), "--", name});
    make.currentDirectory = dir.path();
    ProcessRunner::run(make);
    make = tool("/usr/bin/7zz", {"a", "-psecret", "-mhe=on", "-snl", hidden.string(), "--", name});
    make.currentDirectory = dir.path();
    ProcessRunner::run(make);

    // A new folder for every run: unar asks before it overwrites.
    int runs = 0;
    auto target = [&] { return (out / std::to_string(++runs)).string(); };
    // unzip: a wrong password exits 1, which the extraction counts as success; the words decide.
    EXPECT_EQ(failureOf(tool("/usr/bin/unzip", {"-o", "-P", "nope", zip.string(), "-d", target()}, {0, 1})),
              Case::wrongPassword);
    // No password given: unzip finds no terminal to ask on and says so at once.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf(tool("/usr/bin/unzip", {"-o", zip.string(), "-d", target()}, {0, 1})), Case::wrongPassword);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));

    EXPECT_EQ(failureOf(tool("/usr/bin/7zz", {"x", "-y", "-pnope", "-o" + target(), sevenZip.string()})),
              Case::wrongPassword);
    EXPECT_EQ(failureOf(tool("/usr/bin/7zz", {"x", "-y", "-p", "-o" + target(), sevenZip.string()})),
              Case::wrongPassword);
    EXPECT_EQ(failureOf(tool("/usr/bin/7zz", {"x", "-y", "-pnope", "-o" + target(), hidden.string()})),
              Case::wrongPassword);
    EXPECT_EQ(failureOf(tool("/usr/bin/7zz", {"l", "-p", hidden.string()})), Case::wrongPassword);

    EXPECT_EQ(failureOf(tool("/usr/bin/unar", {"-no-directory", "-o", target(), "--", zip.string()})),
              Case::wrongPassword);
    EXPECT_EQ(failureOf(tool("/usr/bin/unar", {"-no-directory", "-p", "nope", "-o", target(), "--", zip.string()})),
              Case::wrongPassword);
    EXPECT_EQ(failureOf(tool("/usr/bin/unar", {"-no-directory", "-o", target(), "--", hidden.string()})),
              Case::wrongPassword);
    EXPECT_EQ(failureOf(tool("/usr/bin/lsar", {"-json", "--", hidden.string()}), true), Case::wrongPassword);

    // Without any -p, 7zz would ask; with standard input at end of file it fails instead of waiting.
    EXPECT_EQ(failureOf(tool("/usr/bin/7zz", {"x", "-y", "-o" + target(), sevenZip.string()})), Case::toolFailed);
}

TEST(RealRarPasswords, UnarAndLsarOnProtectedRarFiles)
{
    const std::filesystem::path fixtures = std::filesystem::path(TARVO_FIXTURES_DIR) / "rar";
    if (!std::filesystem::exists(fixtures / "rar5-psw.rar") || !systemTool("unar") || !systemTool("lsar")) {
        GTEST_SKIP() << "the RAR fixtures or unar/lsar are missing";
    }
    TempDir dir;
    using Case = ArchiveError::Case;
    for (const char* archive : {"rar5-psw.rar", "rar5-hpsw.rar"}) {
        const std::string path = (fixtures / archive).string();
        EXPECT_EQ(failureOf(tool("/usr/bin/unar", {"-no-directory", "-o", (dir / "a").string(), "--", path})),
                  Case::wrongPassword)
            << archive;
        EXPECT_EQ(
            failureOf(tool("/usr/bin/unar", {"-no-directory", "-p", "nope", "-o", (dir / "b").string(), "--", path})),
            Case::wrongPassword)
            << archive;
    }
    EXPECT_EQ(failureOf(tool("/usr/bin/lsar", {"-json", "--", (fixtures / "rar5-hpsw.rar").string()}), true),
              Case::wrongPassword);
    // The right password opens both.
    ProcessRunner::run(tool("/usr/bin/unar", {"-no-directory", "-p", "password", "-o", (dir / "c").string(), "--",
                                              (fixtures / "rar5-hpsw.rar").string()}));
    EXPECT_FALSE(std::filesystem::is_empty(dir / "c"));
}
