#include "ProcessRunner.h"

#include "ArchiveError.h"
#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <system_error>
#include <thread>

using namespace tarvo::engine;
using namespace std::chrono_literals;
using tarvo::test::processAlive;
using tarvo::test::readFile;
using tarvo::test::TempDir;
using tarvo::test::writeScript;

namespace {

class ProcessRunnerTest : public ::testing::Test
{
protected:
    ToolRun script(std::string_view name, std::string_view body, std::set<std::int32_t> success = {0})
    {
        ToolRun run;
        run.executable = writeScript(dir / name, body);
        run.successCodes = std::move(success);
        return run;
    }

    static ArchiveError failure(const ToolRun& run)
    {
        try {
            ProcessRunner::run(run);
        } catch (const ArchiveError& error) {
            return error;
        }
        ADD_FAILURE() << "the run succeeded";
        return ArchiveError(ArchiveError::Case::noInputs);
    }

    static int readPid(const std::filesystem::path& file)
    {
        for (int i = 0; i < 500 && !std::filesystem::exists(file); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return std::stoi(readFile(file));
    }

    TempDir dir;
};

} // namespace

TEST_F(ProcessRunnerTest, FailureMessageKeepsTheLastFortyLinesInArrivalOrder)
{
    ToolRun run = script("fake-zip", "i=1; while [ $i -le 100 ]; do echo \"line $i\"; i=$((i+1)); done; exit 3");
    const ArchiveError error = failure(run);
    std::string expected;
    for (int i = 61; i <= 100; ++i) {
        expected += (i > 61 ? "\n" : "") + ("line " + std::to_string(i));
    }
    EXPECT_EQ(error, ArchiveError::toolFailed("fake-zip", 3, expected));

    // Standard output and standard error share one tail, in the order the lines came.
    run = script("fake-unzip", "echo out1; sleep 0.1; echo err1 >&2; sleep 0.1; echo out2; exit 2");
    EXPECT_EQ(failure(run).message(), "out1\nerr1\nout2");
}

TEST_F(ProcessRunnerTest, SuccessCodesSignalsAndThePasswordMask)
{
    ToolRun run = script("unzip", "echo warning; exit 1", {0, 1});
    EXPECT_NO_THROW(ProcessRunner::run(run));
    run.successCodes = {0};
    EXPECT_EQ(failure(run), ArchiveError::toolFailed("unzip", 1, "warning"));

    // A tool killed by a signal did not finish, even when the signal's number is a success code.
    run = script("killed", "echo partial; kill -HUP $$; sleep 5", {0, 1});
    EXPECT_EQ(failure(run), ArchiveError::toolFailed("killed", 1, "partial"));
    run = script("killed9", "kill -KILL $$", {0, 9});
    EXPECT_EQ(failure(run), ArchiveError::toolFailed("killed9", 9, ""));

    run = script("secret", "echo 'cannot use hunter2 for hunter2.zip'; exit 4");
    run.redact = "hunter2";
    EXPECT_EQ(failure(run).message(), "cannot use \u2022\u2022\u2022\u2022 for \u2022\u2022\u2022\u2022.zip");
    run.redact.clear();
    EXPECT_EQ(failure(run).message(), "cannot use hunter2 for hunter2.zip");

    // The tool's password words win over a success status.
    run = script("7zz", "echo 'ERROR: Data Error in encrypted file. WRONG PASSWORD? : a.txt' >&2; exit 0");
    EXPECT_EQ(failure(run).errorCase(), ArchiveError::Case::wrongPassword);
    // Even when more than forty lines follow them.
    run = script("unzip", "echo '   skipping: a.txt  incorrect password'; seq 1 100; exit 1", {0, 1});
    EXPECT_EQ(failure(run).errorCase(), ArchiveError::Case::wrongPassword);
}

TEST_F(ProcessRunnerTest, LinesReachTheCallbackWhatEverTheToolPrints)
{
    ToolRun run = script(
        "printer", "printf '  a\\r\\n\\n\\tb\\r50%%\\rdone\\n'; printf 'bad \\377\\n' >&2; sleep 0.1; printf tail");
    std::vector<std::string> lines;
    ProcessRunner::run(run, [&](std::string_view line) { lines.emplace_back(line); });
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[1], "b\r50%\rdone");
    EXPECT_EQ(lines[2], "bad \uFFFD");
    EXPECT_EQ(lines[3], "tail");

    // A million lines: every one is delivered and the failure message still holds forty.
    run = script("seq", "seq 1 1000000; exit 7");
    long long count = 0;
    std::string last;
    try {
        ProcessRunner::run(run, [&](std::string_view line) {
            ++count;
            last = line;
        });
        ADD_FAILURE() << "exit 7 succeeded";
    } catch (const ArchiveError& error) {
        EXPECT_EQ(error.status(), 7);
        EXPECT_TRUE(error.message().starts_with("999961\n"));
        EXPECT_TRUE(error.message().ends_with("\n1000000"));
    }
    EXPECT_EQ(count, 1000000);
    EXPECT_EQ(last, "1000000");
}

TEST_F(ProcessRunnerTest, ChildEnvironmentInputAndWorkingFolder)
{
    std::filesystem::create_directory(dir / "work here");
    ToolRun run = script("where", "pwd; echo \"$TARVO_TEST_MARK\"; cat");
    run.currentDirectory = dir / "work here";
    tarvo::test::ScopedEnv mark("TARVO_TEST_MARK", "inherited");
    std::vector<std::string> lines;
    ProcessRunner::run(run, [&](std::string_view line) { lines.emplace_back(line); });
    // Standard input is /dev/null unless a text is given: cat ends at once.
    EXPECT_EQ(lines, (std::vector<std::string>{(dir / "work here").string(), "inherited"}));

    // Input larger than a pipe, echoed back while it is still being written.
    run = script("echo-back", "cat; echo end");
    std::string input;
    for (int i = 0; i < 200000; ++i) {
        input += "row " + std::to_string(i) + "\n";
    }
    run.standardInput = input;
    long long rows = 0;
    ProcessRunner::run(run, [&](std::string_view line) { rows += line.starts_with("row "); });
    EXPECT_EQ(rows, 200000);

    // A child that leaves without reading its input does not bring the caller down.
    run = script("early", "exit 0");
    run.standardInput = std::string(4 << 20, 'x');
    EXPECT_NO_THROW(ProcessRunner::run(run));
}

TEST_F(ProcessRunnerTest, AChildNeverWaitsForATerminal)
{
    // Each child leads a new session without a controlling terminal, so /dev/tty cannot be opened.
    ToolRun run = script("asks", "printf 'Password: ' >&2; read answer < /dev/tty || exit 5; echo \"got $answer\"");
    const auto started = std::chrono::steady_clock::now();
    const ArchiveError error = failure(run);
    EXPECT_EQ(error.status(), 5);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

    run = script("sid", "cut -d' ' -f6 /proc/$$/stat; echo $$");
    std::vector<std::string> lines;
    ProcessRunner::run(run, [&](std::string_view line) { lines.emplace_back(line); });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], lines[1]) << "the child is not a session leader";
}

TEST_F(ProcessRunnerTest, LaunchErrorsAreSystemErrors)
{
    ToolRun run;
    run.executable = dir / "missing-tool";
    try {
        ProcessRunner::run(run);
        ADD_FAILURE() << "a missing tool ran";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
    }

    tarvo::test::writeFile(dir / "plain-file", "#!/bin/sh\necho hi\n");
    run.executable = dir / "plain-file";
    try {
        ProcessRunner::capture(run);
        ADD_FAILURE() << "a file without execute permission ran";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::errc::permission_denied);
    }

    run = script("fine", "echo hi");
    run.currentDirectory = dir / "no such folder";
    EXPECT_THROW(ProcessRunner::run(run), std::system_error);
}

TEST_F(ProcessRunnerTest, CancelBeforeDuringAndAfter)
{
    // Before: nothing starts.
    auto session = std::make_shared<ArchiveSession>();
    session->cancel();
    ToolRun run = script("marker", "touch \"$1\"");
    run.arguments = {(dir / "started").string()};
    run.session = session;
    EXPECT_EQ(failure(run).errorCase(), ArchiveError::Case::cancelled);
    EXPECT_FALSE(std::filesystem::exists(dir / "started"));
    // A cancelled session refuses every later tool of the job, capture included.
    EXPECT_THROW(ProcessRunner::capture(run), ArchiveError);

    // During: the whole process group is asked to stop, and the run is cancelled even though the
    // tool then exits with 0.
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

    // After: a finished run stays a success, and a late cancel harms nothing.
    session = std::make_shared<ArchiveSession>();
    run = script("quick", "echo done");
    run.session = session;
    EXPECT_NO_THROW(ProcessRunner::run(run));
    session->cancel();
    EXPECT_TRUE(session->isCancelled());
}

TEST_F(ProcessRunnerTest, CancelAtRandomMomentsIsNeverLost)
{
    // Cancels land before, while and after the start; each run ends promptly, as cancelled unless
    // it had already finished, and leaves no process behind.
    ToolRun run = script("sleeper", "echo $$ >> \"$1\"; sleep 20");
    run.arguments = {(dir / "pids").string()};
    std::mt19937 random(42);
    int cancelled = 0;
    for (int i = 0; i < 60; ++i) {
        auto session = std::make_shared<ArchiveSession>();
        run.session = session;
        const auto delay = std::chrono::microseconds(random() % 3000);
        std::thread canceller([&] {
            std::this_thread::sleep_for(delay);
            session->cancel();
        });
        const auto started = std::chrono::steady_clock::now();
        try {
            ProcessRunner::run(run);
            ADD_FAILURE() << "a 20-second sleep finished";
        } catch (const ArchiveError& error) {
            cancelled += error.errorCase() == ArchiveError::Case::cancelled;
        }
        canceller.join();
        ASSERT_LT(std::chrono::steady_clock::now() - started, 5s) << "cancel lost at " << delay.count() << " us";
    }
    EXPECT_EQ(cancelled, 60);
    if (std::filesystem::exists(dir / "pids")) {
        std::istringstream pids(readFile(dir / "pids"));
        for (int pid; pids >> pid;) {
            EXPECT_FALSE(processAlive(pid)) << pid;
        }
    }
}

TEST_F(ProcessRunnerTest, AFailingLineHandlerStopsTheTool)
{
    // The runner's own failure must not leave the tool running on its own.
    ToolRun run = script("talker", "echo $$ > \"$1\"; echo first; sleep 20; echo late > \"$1.late\"");
    run.arguments = {(dir / "pid").string()};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(ProcessRunner::run(run, [](std::string_view) { throw std::runtime_error("handler failed"); }),
                 std::runtime_error);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_FALSE(processAlive(readPid(dir / "pid")));
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(std::filesystem::exists(dir / "pid.late"));
}

TEST_F(ProcessRunnerTest, CaptureReturnsStandardOutputOnly)
{
    ToolRun run = script("lister", "printf '  {\\n\\n    \"a\": 1\\n  }\\n'; echo 'noise' >&2");
    EXPECT_EQ(ProcessRunner::capture(run), "{\n\"a\": 1\n}");

    run = script("lister2", "echo 'stdout text'; echo 'only this is the message' >&2; exit 2");
    try {
        ProcessRunner::capture(run);
        ADD_FAILURE() << "exit 2 succeeded";
    } catch (const ArchiveError& error) {
        EXPECT_EQ(error, ArchiveError::toolFailed("lister2", 2, "only this is the message"));
    }
}
