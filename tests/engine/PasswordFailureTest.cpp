#include "engine/tools/PasswordFailure.h"

#include "TestSupport.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/vocabulary/ArchiveError.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace tarvo::engine;
using tarvo::test::TempDir;
using tarvo::test::writeFile;
using Args = std::vector<std::string>;

namespace {

// Each tool's own password failure text, used as a file name.
const char* const kTreacherousNames[] = {
    "skipping:  incorrect password",
    "unable to get password",
    "Cannot open encrypted archive. Wrong password?",
    "ERROR: Data Error in encrypted file. Wrong password? : x",
    "Failed! (Missing or wrong password)",
    "This archive requires a password to unpack. Use the -p option to provide one.",
};

ToolRun tool(const char* name, Args arguments, std::set<std::int32_t> success = {0})
{
    ToolRun run;
    run.executable = std::filesystem::path("/usr/bin") / name;
    run.arguments = std::move(arguments);
    run.successCodes = std::move(success);
    return run;
}

} // namespace

TEST(PasswordFailure, RecognisesEachToolsOwnWordsAndNotNames)
{
    using Family = PasswordFailure::Family;
    struct Line
    {
        Family family;
        const char* text;
    };
    const Line failures[] = {
        {Family::unzip, "skipping: d/wrong password.txt    incorrect password"},
        {Family::unzip, "SKIPPING: D/PLAIN.TXT             UNABLE TO GET PASSWORD"},
        {Family::unzip, "unable to get password"},
        {Family::unzip, "(may instead be incorrect password)"},
        {Family::sevenZip, "Cannot open encrypted archive. Wrong password?"},
        {Family::sevenZip, "ERROR: henc.7z : Cannot open encrypted archive. Wrong password?"},
        {Family::sevenZip, "ERROR: Data Error in encrypted file. Wrong password? : d/plain.txt"},
        {Family::sevenZip, "ERROR: CRC Failed in encrypted file. Wrong password? : a.bin"},
        {Family::sevenZip, "ERROR: Wrong password : src/a.txt"},
        {Family::unar, "d/wrong password.txt  (6 B)... Failed! (Missing or wrong password)"},
        {Family::unar, "Archive parsing failed! (Missing or wrong password.)"},
        {Family::unar, "/x/henc.7z: This archive requires a password to unpack. Use the -p option to provide one."},
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
        {Family::unzip, "extracting: out/skipping:  incorrect password"},
        {Family::unzip, "Archive:  /home/u/unable to get password"},
        {Family::sevenZip, "Creating archive: /tmp/x : Cannot open encrypted archive. Wrong password?"},
        {Family::sevenZip, "+ ERROR: Data Error in encrypted file. Wrong password? : x"},
        {Family::sevenZip, "- x/This archive requires a password to unpack. Use the -p option to provide one."},
        {Family::unar, "Failed! (Missing or wrong password)  (6 B)... OK."},
        {Family::unar,
         "\"XADFileName\": \"This archive requires a password to unpack. Use the -p option to provide one.\","},
        {Family::unar, "Successfully extracted to \"/x/Failed! (Missing or wrong password)\"."},
        {Family::unrar, "Extracting  Incorrect password for x     OK"},
        {Family::any, "wrong password"},
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

// Real tools: names full of password words succeed; wrong and missing passwords are recognised.
TEST(RealToolPasswords, NamesSucceedAndFailuresAreRecognised)
{
    if (const auto missing = tarvo::test::missingTool({"zip", "unzip", "7zz", "unar", "lsar"})) {
        GTEST_SKIP() << *missing;
    }
    TempDir dir;
    const std::string folder = "Bad Password notes";
    for (const char* name : kTreacherousNames) {
        writeFile(dir / folder / name, name);
    }
    const auto out = dir / "wrong password out";
    std::filesystem::create_directories(out);
    const auto zip = (dir / "incorrect password.zip").string();
    const auto sevenZip = (dir / "wrong password.7z").string();
    const auto hidden = (dir / "hidden names.7z").string();
    for (ToolRun make : {tool("zip", {"-r", "-y", "-P", "secret", zip, "--", folder}),
                         tool("7zz", {"a", "-bb1", "-snl", "-y", "-psecret", sevenZip, "--", folder}),
                         tool("7zz", {"a", "-psecret", "-mhe=on", "-snl", hidden, "--", folder})}) {
        make.currentDirectory = dir.path();
        ProcessRunner::run(make);
    }
    ProcessRunner::run(tool("unzip", {"-o", "-P", "secret", zip, "-d", (out / "unzip").string()}, {0, 1}));
    ProcessRunner::run(tool("7zz", {"x", "-bb1", "-y", "-psecret", "-o" + (out / "7zz").string(), sevenZip}));
    ProcessRunner::run(tool("unar", {"-no-directory", "-p", "secret", "-o", (out / "unar").string(), "--", zip}));
    const std::string listing = ProcessRunner::capture(tool("lsar", {"-json", "--", sevenZip}));
    EXPECT_NE(listing.find("Failed! (Missing or wrong password)"), std::string::npos);
    for (const char* extractor : {"unzip", "7zz", "unar"}) {
        for (const char* name : kTreacherousNames) {
            EXPECT_EQ(tarvo::test::readFile(out / extractor / folder / name), name) << extractor;
        }
    }

    // A new folder for every run: unar asks before it overwrites.
    int runs = 0;
    auto target = [&] { return (out / std::to_string(++runs)).string(); };
    const auto failureOf = [](const ToolRun& run, bool capture = false) {
        try {
            capture ? (void)ProcessRunner::capture(run) : ProcessRunner::run(run);
        } catch (const ArchiveError& error) {
            return error.errorCase();
        }
        ADD_FAILURE() << run.executable << " succeeded";
        return ArchiveError::Case::noInputs;
    };
    const auto started = std::chrono::steady_clock::now();
    // unzip's wrong password exits 1, which extraction counts as success: the words decide.
    const ToolRun wrong[] = {
        tool("unzip", {"-o", "-P", "nope", zip, "-d", target()}, {0, 1}),
        tool("unzip", {"-o", zip, "-d", target()}, {0, 1}),
        tool("7zz", {"x", "-y", "-pnope", "-o" + target(), sevenZip}),
        tool("7zz", {"x", "-y", "-p", "-o" + target(), sevenZip}),
        tool("7zz", {"x", "-y", "-pnope", "-o" + target(), hidden}),
        tool("7zz", {"l", "-p", hidden}),
        tool("unar", {"-no-directory", "-o", target(), "--", zip}),
        tool("unar", {"-no-directory", "-p", "nope", "-o", target(), "--", zip}),
        tool("unar", {"-no-directory", "-o", target(), "--", hidden}),
    };
    for (const ToolRun& run : wrong) {
        EXPECT_EQ(failureOf(run), ArchiveError::Case::wrongPassword) << "row " << &run - wrong;
    }
    EXPECT_EQ(failureOf(tool("lsar", {"-json", "--", hidden}), true), ArchiveError::Case::wrongPassword);
    // Without any -p 7zz would ask; with standard input at end of file it fails instead of waiting.
    EXPECT_EQ(failureOf(tool("7zz", {"x", "-y", "-o" + target(), sevenZip})), ArchiveError::Case::toolFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}
