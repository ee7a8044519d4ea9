// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tarvo::test {

namespace fs = std::filesystem;

tarvo::engine::ArchiveError errorOf(const std::function<void()>& job)
{
    try {
        job();
    } catch (const tarvo::engine::ArchiveError& error) {
        return error;
    }
    ADD_FAILURE() << "the job succeeded";
    return tarvo::engine::ArchiveError(tarvo::engine::ArchiveError::Case::noInputs);
}

tarvo::engine::ArchiveError::Case failureOf(const std::function<void()>& job)
{
    return errorOf(job).errorCase();
}

TempDir::TempDir(const fs::path& parent)
{
    std::string pattern = (parent / "tarvo-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

void writeFile(const fs::path& path, std::string_view content)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path writeScript(const fs::path& path, std::string_view body)
{
    writeFile(path, "#!/bin/sh\n" + std::string(body) + "\n");
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    return path;
}

fs::path installFakeTool(std::string_view name, const fs::path& path)
{
    fs::create_directories(path.parent_path());
    fs::copy_file(fs::path(TARVO_TEST_TOOLS_DIR) / name, path, fs::copy_options::overwrite_existing);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    return path;
}

std::optional<fs::path> systemTool(std::string_view name)
{
    auto path = fs::path("/usr/bin") / name;
    return fs::exists(path) ? std::optional(path) : std::nullopt;
}

std::optional<std::string> missingTool(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (!systemTool(name)) {
            return std::string(name) + " is not installed";
        }
    }
    return std::nullopt;
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string noise(std::size_t size)
{
    std::mt19937_64 random(42);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    return bytes;
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value)
    : m_name(name)
{
    if (const char* previous = std::getenv(name)) {
        m_previous = previous;
    }
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv()
{
    if (m_previous) {
        ::setenv(m_name.c_str(), m_previous->c_str(), 1);
    } else {
        ::unsetenv(m_name.c_str());
    }
}

SmallFileSystem::SmallFileSystem(const std::filesystem::path& folder, const std::string& options)
    : m_folder(folder)
{
    std::filesystem::create_directories(folder);
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        refusal = std::string("cannot mount a small tmpfs here: ") + std::strerror(errno);
    }
}

SmallFileSystem::~SmallFileSystem()
{
    if (refusal.empty()) {
        ::umount2(m_folder.c_str(), MNT_DETACH);
    }
}

bool processAlive(int pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string content{std::istreambuf_iterator<char>(stat), std::istreambuf_iterator<char>()};
    const auto close = content.rfind(')');
    return close != std::string::npos && content.size() > close + 2 && content[close + 2] != 'Z';
}

Program::Program(const std::vector<std::string>& argv, std::string_view input,
                 const std::vector<std::string>& environment)
{
    writeFile(m_files / "in", input);
    // The given variables replace inherited ones of the same name.
    std::vector<std::string> variables(environment);
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view inherited(*variable);
        const auto name = inherited.substr(0, inherited.find('=') + 1);
        if (std::none_of(environment.begin(), environment.end(),
                         [&](const std::string& given) { return given.starts_with(name); })) {
            variables.emplace_back(inherited);
        }
    }
    // Everything the child needs is made before the fork: it must not allocate.
    const auto pointers = [](const std::vector<std::string>& strings) {
        std::vector<char*> result;
        for (const auto& text : strings) {
            result.push_back(const_cast<char*>(text.c_str()));
        }
        result.push_back(nullptr);
        return result;
    };
    const std::vector<char*> args = pointers(argv);
    const std::vector<char*> env = pointers(variables);
    const std::string files[] = {(m_files / "in").string(), (m_files / "out").string(), (m_files / "err").string()};
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(::open(files[0].c_str(), O_RDONLY), 0);
        ::dup2(::open(files[1].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        ::dup2(::open(files[2].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        ::execve(args[0], args.data(), env.data());
        ::_exit(127);
    }
}

Program::~Program()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

ProgramResult Program::wait(int seconds)
{
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the program did not end within " << seconds << " s";
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_pid = -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(m_files / "out"),
            readFile(m_files / "err")};
}

// One that ends while it is read fails the read: a stream would throw.
std::string commandLine(const fs::path& process)
{
    std::string text;
    const int fd = ::open((process / "cmdline").c_str(), O_RDONLY | O_CLOEXEC);
    std::array<char, 4096> chunk{};
    for (ssize_t got = 0; fd >= 0 && (got = ::read(fd, chunk.data(), chunk.size())) > 0;) {
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return text;
}

ProgramResult runProgram(const std::vector<std::string>& argv, std::string_view input,
                         const std::vector<std::string>& environment)
{
    return Program(argv, input, environment).wait();
}

void runIn(const fs::path& folder, const std::vector<std::string>& argv, const std::vector<std::string>& environment)
{
    std::vector<std::string> command = {"/usr/bin/env", "-C", folder.string()};
    command.insert(command.end(), argv.begin(), argv.end());
    const ProgramResult result = runProgram(command, {}, environment);
    EXPECT_EQ(result.status, 0) << argv.front() << ": " << result.errors;
}

} // namespace tarvo::test
