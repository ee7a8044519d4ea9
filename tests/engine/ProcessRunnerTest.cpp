// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/tools/ProcessRunner.h"

#include "TestSupport.h"
#include "engine/adapters/InfoZip.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/adapters/Unar.h"
#include "engine/vocabulary/ArchiveError.h"

#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <system_error>
#include <thread>
#include <unistd.h>

using namespace tarvo::engine;
using namespace std::chrono_literals;
using namespace tarvo::test;
using Lines = std::vector<std::string>;

namespace {

class ProcessRunnerTest : public ::testing::Test
{
protected:
    // A stand-in for a tool, read with that tool's words when it names one.
    ToolRun script(std::string_view name, std::string_view body, std::set<std::int32_t> success = {0})
    {
        const std::map<std::string_view, const OutputReading*> readings = {
            {"7zz", &SevenZip::reading},  {"bsdtar", &Tar::bsdtarReading}, {"unzip", &InfoZip::unzipReading},
            {"unar", &Unar::unarReading}, {"lsar", &Unar::lsarReading},
        };
        ToolRun run;
        run.executable = writeScript(dir / name, body);
        run.successCodes = std::move(success);
        if (const auto reading = readings.find(name); reading != readings.end()) {
            run.reading = reading->second;
        }
        return run;
    }

    static ArchiveError failure(const ToolRun& run, bool capture = false)
    {
        return errorOf([&] { capture ? (void)ProcessRunner::capture(run) : ProcessRunner::run(run); });
    }

    static Lines lines(const ToolRun& run)
    {
        Lines lines;
        ProcessRunner::run(run, [&](std::string_view line) { lines.emplace_back(line); });
        return lines;
    }

    // The shell creates the file before it writes the number: wait for the whole line.
    static int readPid(const std::filesystem::path& file)
    {
        std::string text;
        for (int i = 0; i < 500 && !text.ends_with('\n'); ++i) {
            std::error_code error;
            text = std::filesystem::exists(file, error) ? readFile(file) : std::string();
            if (!text.ends_with('\n')) {
                std::this_thread::sleep_for(10ms);
            }
        }
        return std::stoi(text);
    }

    TempDir dir;
};

} // namespace

TEST_F(ProcessRunnerTest, StatusSignalMaskPasswordWordsAndCapture)
{
    // Standard output and standard error share one tail, in the order the lines came.
    EXPECT_EQ(failure(script("fake-unzip", "echo out1; sleep 0.1; echo err1 >&2; sleep 0.1; echo out2; exit 2")),
              ArchiveError::toolFailed("fake-unzip", 2, "out1\nerr1\nout2"));
    // Progress redrawn after backspaces is no message, even where a name in it reads like one; nor
    // are bsdtar's entry lines, but its complaints are.
    EXPECT_NO_THROW(ProcessRunner::run(script("7zz", "printf ' 5%% - a\\bERROR: Wrong password : x\\b\\b\\n'")));
    EXPECT_EQ(failure(script("7zz", "printf ' 5%% + a\\b\\b 9%% 1 - b\\b\\b'; echo 'ERROR: broken' >&2; exit 2")),
              ArchiveError::toolFailed("7zz", 2, "ERROR: broken"));
    EXPECT_EQ(
        failure(script("7zz", "printf 'ERROR: Data Error in encrypted file. Wrong password? : a\\bb\\n' >&2; exit 2"))
            .errorCase(),
        ArchiveError::Case::wrongPassword);
    EXPECT_EQ(failure(script("bsdtar", "echo 'x a' >&2; echo 'x b: Truncated' >&2; echo 'x c' >&2; exit 1")),
              ArchiveError::toolFailed("bsdtar", 1, "x b: Truncated"));
    ToolRun run = script("unzip", "echo warning; exit 1", {0, 1});
    EXPECT_NO_THROW(ProcessRunner::run(run));
    run.successCodes = {0};
    EXPECT_EQ(failure(run), ArchiveError::toolFailed("unzip", 1, "warning"));
    // A tool killed by a signal did not finish, even when the signal's number is a success code.
    EXPECT_EQ(failure(script("killed", "echo partial; kill -HUP $$; sleep 5", {0, 1})),
              ArchiveError::toolFailed("killed", 1, "partial"));

    run = script("secret", "echo 'cannot use hunter2 for hunter2.zip'; exit 4");
    run.redact = "hunter2";
    EXPECT_EQ(failure(run).message(), "cannot use \u2022\u2022\u2022\u2022 for \u2022\u2022\u2022\u2022.zip");

    // The tool's password words win over a success status, even with more than forty lines after them.
    run = script("7zz", "echo 'ERROR: Data Error in encrypted file. WRONG PASSWORD? : a.txt' >&2; exit 0");
    EXPECT_EQ(failure(run).errorCase(), ArchiveError::Case::wrongPassword);
    run = script("unzip", "echo '   skipping: a.txt  incorrect password'; seq 1 100; exit 1", {0, 1});
    EXPECT_EQ(failure(run).errorCase(), ArchiveError::Case::wrongPassword);
    // unar's and lsar's words share a line with a name the archive chose: they count only when the tool fails.
    const std::string forged = "echo '  x... Failed! (missing or wrong password)'; exit ";
    for (const char* tool : {"unar", "lsar"}) {
        EXPECT_NO_THROW(ProcessRunner::run(script(tool, forged + "0"))) << tool;
        EXPECT_EQ(failure(script(tool, forged + "1")).errorCase(), ArchiveError::Case::wrongPassword) << tool;
    }

    // capture() returns standard output; its failure message is standard error alone.
    EXPECT_EQ(ProcessRunner::capture(script("lister", "printf '  {\\n\\n    \"a\": 1\\n  }\\n'; echo 'noise' >&2")),
              "{\n\"a\": 1\n}");
    EXPECT_EQ(failure(script("lister2", "echo 'stdout text'; echo 'only this is the message' >&2; exit 2"), true),
              ArchiveError::toolFailed("lister2", 2, "only this is the message"));
}

TEST_F(ProcessRunnerTest, EveryLineReachesTheCallbackAndTheMessageKeepsTheLastForty)
{
    EXPECT_EQ(lines(script("printer", "printf '  a\\r\\n\\n\\tb\\r50%%\\rdone\\n'; printf 'bad \\377\\n' >&2; "
                                      "sleep 0.1; printf tail")),
              (Lines{"a", "b\r50%\rdone", "bad \uFFFD", "tail"}));

    long long count = 0;
    const ToolRun seq = script("seq", "seq 1 1000000; exit 7");
    const ArchiveError error = errorOf([&] { ProcessRunner::run(seq, [&](std::string_view) { ++count; }); });
    EXPECT_EQ(error.status(), 7);
    EXPECT_TRUE(error.message().starts_with("999961\n"));
    EXPECT_TRUE(error.message().ends_with("\n1000000"));
    EXPECT_EQ(count, 1000000);
}

TEST_F(ProcessRunnerTest, TheChildsSessionInputAndWorkingFolder)
{
    // Standard input is /dev/null unless a text is given, even when the application's holds an answer;
    // the child leads a new session without a controlling terminal, so /dev/tty cannot be opened.
    std::filesystem::create_directory(dir / "work here");
    ToolRun run = script("where", "pwd; echo \"$LC_ALL|$UNZIP|$ZIPOPT\"; cat; cut -d' ' -f6 /proc/$$/stat; echo $$; "
                                  "(read answer < /dev/tty) 2>/dev/null && echo tty; test -e /proc/$$/fd/57 && echo "
                                  "leaked; exit 0");
    run.currentDirectory = dir / "work here";
    // Of the application's variables the tool gets the locale's, none that configure a tool.
    ScopedEnv locale("LC_ALL", "C.UTF-8");
    ScopedEnv unzip("UNZIP", "-:");
    ScopedEnv zip("ZIPOPT", "-9");
    int answer[2];
    ASSERT_EQ(::pipe(answer), 0);
    ASSERT_EQ(::write(answer[1], "typed\n", 6), 6);
    ::close(answer[1]);
    const int ownInput = ::dup(STDIN_FILENO);
    ::dup2(answer[0], STDIN_FILENO);
    ::close(answer[0]);
    // A descriptor the application holds without close-on-exec stays with it.
    ASSERT_EQ(::dup2(ownInput, 57), 57);
    const Lines got = lines(run);
    ::close(57);
    ::dup2(ownInput, STDIN_FILENO);
    ::close(ownInput);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], (dir / "work here").string());
    EXPECT_EQ(got[1], "C.UTF-8||");
    EXPECT_EQ(got[2], got[3]) << "the child is not a session leader";

    // Input larger than a pipe, echoed back while it is still being written.
    run = script("echo-back", "cat; echo end");
    std::string& input = run.standardInput.emplace();
    for (int i = 0; i < 200000; ++i) {
        input += "row " + std::to_string(i) + "\n";
    }
    long long rows = 0;
    ProcessRunner::run(run, [&](std::string_view line) { rows += line.starts_with("row "); });
    EXPECT_EQ(rows, 200000);
    // A child that leaves without reading its input does not bring the caller down.
    run = script("early", "exit 0");
    run.standardInput = std::string(4 << 20, 'x');
    EXPECT_NO_THROW(ProcessRunner::run(run));

    // A password asked for once on the tool's terminal is typed at that first prompt.
    run = script("asks", "stty -echo; IFS= read -r answer; stty echo; echo \"got $answer\"");
    run.terminalAnswer = "pass word";
    run.terminalPrompts = 1;
    EXPECT_EQ(lines(run), Lines{"got pass word"});

    // A tool that cannot be started is a system error, not a tool failure.
    run = ToolRun{};
    run.executable = dir / "missing-tool";
    EXPECT_THROW(ProcessRunner::run(run), std::system_error);
    run = script("fine", "echo hi");
    run.currentDirectory = dir / "no such folder";
    EXPECT_THROW(ProcessRunner::run(run), std::system_error);
}

TEST_F(ProcessRunnerTest, CancelAndRunnerFailuresStopTheWholeTool)
{
    auto session = std::make_shared<ArchiveSession>();
    session->cancel();
    ToolRun run = script("marker", "touch \"$1\"");
    run.arguments = {(dir / "started").string()};
    run.session = session;
    EXPECT_EQ(failure(run).errorCase(), ArchiveError::Case::cancelled);
    EXPECT_FALSE(std::filesystem::exists(dir / "started"));
    // A cancelled session refuses every later tool of the job, capture included.
    EXPECT_EQ(failure(run, true).errorCase(), ArchiveError::Case::cancelled);

    // During: the whole process group is asked to stop; the tool's exit with 0 is still a cancel.
    session = std::make_shared<ArchiveSession>();
    run = script("slow", "trap 'exit 0' TERM; sleep 30 & echo $! > \"$1\"; wait");
    run.arguments = {(dir / "helper.pid").string()};
    run.session = session;
    std::thread canceller([&] {
        readPid(dir / "helper.pid");
        session->cancel();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(failure(run).errorCase(), ArchiveError::Case::cancelled);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    const int helper = readPid(dir / "helper.pid");
    for (int i = 0; i < 200 && processAlive(helper); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_FALSE(processAlive(helper)) << "the tool's helper process outlived the cancel";

    run = script("quick", "echo done");
    run.session = std::make_shared<ArchiveSession>();
    EXPECT_NO_THROW(ProcessRunner::run(run));

    // The runner's own failure must not leave the tool running on its own either.
    run = script("talker", "echo $$ > \"$1\"; echo first; sleep 20; echo late > \"$1.late\"");
    run.arguments = {(dir / "pid").string()};
    const auto handlerStarted = std::chrono::steady_clock::now();
    EXPECT_THROW(ProcessRunner::run(run, [](std::string_view) { throw std::runtime_error("handler failed"); }),
                 std::runtime_error);
    EXPECT_LT(std::chrono::steady_clock::now() - handlerStarted, 5s);
    EXPECT_FALSE(processAlive(readPid(dir / "pid")));
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(std::filesystem::exists(dir / "pid.late"));
}

TEST_F(ProcessRunnerTest, CancelAtRandomMomentsIsNeverLost)
{
    ToolRun run = script("sleeper", "echo $$ >> \"$1\"; sleep 20");
    run.arguments = {(dir / "pids").string()};
    std::mt19937 random(42);
    for (int i = 0; i < 60; ++i) {
        auto session = std::make_shared<ArchiveSession>();
        run.session = session;
        const auto delay = std::chrono::microseconds(random() % 3000);
        std::thread canceller([&] {
            std::this_thread::sleep_for(delay);
            session->cancel();
        });
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(failure(run).errorCase(), ArchiveError::Case::cancelled);
        canceller.join();
        ASSERT_LT(std::chrono::steady_clock::now() - started, 5s) << "cancel lost at " << delay.count() << " us";
    }
    if (std::filesystem::exists(dir / "pids")) {
        std::istringstream pids(readFile(dir / "pids"));
        for (int pid; pids >> pid;) {
            EXPECT_FALSE(processAlive(pid)) << pid;
        }
    }
}
