#include "TestSupport.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tarvo::test {

TempDir::TempDir()
{
    std::random_device device;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("tarvo-test-" + std::to_string(device()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void writeFile(const std::filesystem::path& path, std::string_view content)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::filesystem::path writeScript(const std::filesystem::path& path, std::string_view body)
{
    writeFile(path, "#!/bin/sh\n" + std::string(body) + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec);
    return path;
}

std::optional<std::filesystem::path> systemTool(std::string_view name)
{
    const std::filesystem::path path = std::filesystem::path("/usr/bin") / name;
    if (std::filesystem::exists(path)) {
        return path;
    }
    return std::nullopt;
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

std::vector<std::string> namesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string noise(std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (char& c : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        c = static_cast<char>(state);
    }
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

bool processAlive(int pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string content;
    if (!std::getline(stat, content)) {
        return false;
    }
    const auto close = content.rfind(')');
    return close != std::string::npos && content.size() > close + 2 && content[close + 2] != 'Z';
}

Program::Program(const std::vector<std::string>& argv, std::string_view input,
                 const std::vector<std::string>& environment)
{
    writeFile(m_files / "in", input);
    // The given variables replace inherited ones of the same name.
    std::vector<std::string> variables(environment.begin(), environment.end());
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view inherited(*variable);
        const auto name = inherited.substr(0, inherited.find('=') + 1);
        const bool replaced = std::any_of(environment.begin(), environment.end(),
                                          [&](const std::string& given) { return given.starts_with(name); });
        if (!replaced) {
            variables.emplace_back(inherited);
        }
    }
    const std::string in = (m_files / "in").string();
    const std::string out = (m_files / "out").string();
    const std::string err = (m_files / "err").string();
    m_pid = ::fork();
    if (m_pid == 0) {
        const int inFd = ::open(in.c_str(), O_RDONLY);
        const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(inFd, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        std::vector<char*> args;
        for (const auto& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        std::vector<char*> env;
        for (const auto& variable : variables) {
            env.push_back(const_cast<char*>(variable.c_str()));
        }
        env.push_back(nullptr);
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
    ProgramResult result;
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
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.output = readFile(m_files / "out");
    result.errors = readFile(m_files / "err");
    return result;
}

ProgramResult runProgram(const std::vector<std::string>& argv, std::string_view input,
                         const std::vector<std::string>& environment)
{
    return Program(argv, input, environment).wait();
}

} // namespace tarvo::test
