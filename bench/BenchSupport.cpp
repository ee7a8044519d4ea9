// SPDX-License-Identifier: GPL-3.0-or-later

#include "BenchSupport.h"

#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarvo::bench {

namespace {

std::int64_t statusField(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stoll(line.substr(field.size() + 1)) * 1024;
        }
    }
    return 0;
}

} // namespace

std::int64_t residentBytes()
{
    return statusField("VmRSS");
}

void resetPeakResident()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

std::int64_t peakResidentBytes()
{
    return statusField("VmHWM");
}

namespace {

// Starts argv with standard input from `input` (or inherited) and standard output to `output`
// (or /dev/null).
pid_t start(const std::vector<std::string>& argv, int input, int output)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) {
        posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    }
    if (output >= 0) {
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t child = 0;
    const int error = posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    return child;
}

} // namespace

void runPipelineToDevNull(const std::vector<std::string>& producer, const std::vector<std::string>& consumer)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    const pid_t first = start(producer, -1, fds[1]);
    const pid_t second = start(consumer, fds[0], -1);
    close(fds[0]);
    close(fds[1]);
    waitpid(first, nullptr, 0);
    waitpid(second, nullptr, 0);
}

namespace {

int waitFor(pid_t child)
{
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

int runToDevNull(const std::vector<std::string>& argv)
{
    return waitFor(start(argv, -1, -1));
}

int runToFile(const std::vector<std::string>& argv, const std::filesystem::path& output)
{
    const int file = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        throw std::runtime_error("cannot write " + output.string());
    }
    const pid_t child = start(argv, -1, file);
    close(file);
    return waitFor(child);
}

void RecordingReporter::ReportRuns(const std::vector<Run>& runs)
{
    for (const Run& run : runs) {
        if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
            m_times[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

double RecordingReporter::realTime(const std::string& name) const
{
    const auto found = m_times.find(name);
    return found == m_times.end() ? 0.0 : found->second;
}

std::filesystem::path scratchDirectory()
{
    auto dir = std::filesystem::temp_directory_path() / ("tarvo-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace tarvo::bench
