// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"
#include "engine/adapters/InfoZip.h"
#include "engine/adapters/Rarlab.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Unar.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/vocabulary/ArchiveError.h"

#include <chrono>
#include <gtest/gtest.h>
#include <map>

using namespace tarvo::engine;
using namespace tarvo::test;
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

// A real tool, read with its home's words.
ToolRun tool(const char* name, Args arguments, std::set<std::int32_t> success = {0})
{
    const std::map<std::string_view, const OutputReading*> readings = {
        {"zip", &InfoZip::zipReading}, {"unzip", &InfoZip::unzipReading}, {"7zz", &SevenZip::reading},
        {"unar", &Unar::unarReading},  {"lsar", &Unar::lsarReading},
    };
    ToolRun run;
    run.executable = std::filesystem::path("/usr/bin") / name;
    run.arguments = std::move(arguments);
    run.successCodes = std::move(success);
    run.reading = readings.at(name);
    return run;
}

bool says(const OutputReading& reading, std::string_view line)
{
    return reading.passwordFailure && reading.passwordFailure(line);
}

} // namespace

TEST(PasswordFailure, RecognisesEachToolsOwnWordsAndNotNames)
{
    struct Line
    {
        const OutputReading& reading;
        const char* text;
    };
    const Line failures[] = {
        {InfoZip::unzipReading, "skipping: d/wrong password.txt    incorrect password"},
        {InfoZip::unzipReading, "SKIPPING: D/PLAIN.TXT             UNABLE TO GET PASSWORD"},
        {InfoZip::unzipReading, "unable to get password"},
        {InfoZip::unzipReading, "(may instead be incorrect password)"},
        {SevenZip::reading, "Cannot open encrypted archive. Wrong password?"},
        {SevenZip::reading, "ERROR: henc.7z : Cannot open encrypted archive. Wrong password?"},
        {SevenZip::reading, "ERROR: Data Error in encrypted file. Wrong password? : d/plain.txt"},
        {SevenZip::reading, "ERROR: CRC Failed in encrypted file. Wrong password? : a.bin"},
        {SevenZip::reading, "ERROR: Wrong password : src/a.txt"},
        {Unar::unarReading, "d/wrong password.txt  (6 B)... Failed! (Missing or wrong password)"},
        {Unar::unarReading, "Archive parsing failed! (Missing or wrong password.)"},
        {Unar::lsarReading,
         "/x/henc.7z: This archive requires a password to unpack. Use the -p option to provide one."},
        {Rarlab::reading, "The specified password is incorrect."},
        {Rarlab::reading, "Checksum error in the encrypted file notes.txt. Corrupt file or wrong password."},
        {Rarlab::reading, "Incorrect password for notes.txt"},
    };
    for (const Line& line : failures) {
        EXPECT_TRUE(says(line.reading, line.text)) << line.text;
    }
    // The same words inside names, as each tool prints them when it succeeds, and another tool's
    // words, which this tool never prints.
    const Line names[] = {
        {InfoZip::zipReading, "adding: wrong password.txt (stored 0%)"},
        {InfoZip::zipReading, "skipping: d/wrong password.txt    incorrect password"},
        {InfoZip::unzipReading, "extracting: out/skipping:  incorrect password"},
        {InfoZip::unzipReading, "Archive:  /home/u/unable to get password"},
        {InfoZip::unzipReading, "Incorrect password for notes.txt"},
        {SevenZip::reading, "Creating archive: /tmp/x : Cannot open encrypted archive. Wrong password?"},
        {SevenZip::reading, "+ ERROR: Data Error in encrypted file. Wrong password? : x"},
        {SevenZip::reading, "- x/This archive requires a password to unpack. Use the -p option to provide one."},
        {SevenZip::reading, "Path = /tmp/wrong password.7z"},
        {Unar::unarReading, "Failed! (Missing or wrong password)  (6 B)... OK."},
        {Unar::lsarReading,
         "\"XADFileName\": \"This archive requires a password to unpack. Use the -p option to provide one.\","},
        {Unar::unarReading, "Successfully extracted to \"/x/Failed! (Missing or wrong password)\"."},
        {Unar::unarReading, "ERROR: Wrong password : src/a.txt"},
        {Rarlab::reading, "Extracting  Incorrect password for x     OK"},
        {Rarlab::reading, "wrong password"},
    };
    for (const Line& line : names) {
        EXPECT_FALSE(says(line.reading, line.text)) << line.text;
    }
}

// Real tools: names full of password words succeed; wrong and missing passwords are recognised.
TEST(RealToolPasswords, NamesSucceedAndFailuresAreRecognised)
{
    TARVO_SKIP_WITHOUT("zip", "unzip", "7zz", "unar", "lsar");
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
            EXPECT_EQ(readFile(out / extractor / folder / name), name) << extractor;
        }
    }

    // A new folder for every run: unar asks before it overwrites.
    int runs = 0;
    auto target = [&] { return (out / std::to_string(++runs)).string(); };
    const auto failure = [](const ToolRun& run, bool capture = false) {
        return failureOf([&] { capture ? (void)ProcessRunner::capture(run) : ProcessRunner::run(run); });
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
        EXPECT_EQ(failure(run), ArchiveError::Case::wrongPassword) << "row " << &run - wrong;
    }
    EXPECT_EQ(failure(tool("lsar", {"-json", "--", hidden}), true), ArchiveError::Case::wrongPassword);
    // Without any -p 7zz would ask; with standard input at end of file it fails instead of waiting.
    EXPECT_EQ(failure(tool("7zz", {"x", "-y", "-o" + target(), sevenZip})), ArchiveError::Case::toolFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}
