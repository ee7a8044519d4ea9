// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/l10n/AppLanguage.h"
#include "engine/vocabulary/ArchiveEntry.h"
#include "engine/vocabulary/ArchiveError.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::test {

// A fresh folder under the temporary directory (or `parent`), removed with everything in it at the end.
class TempDir
{
public:
    explicit TempDir(const std::filesystem::path& parent = std::filesystem::temp_directory_path());
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const noexcept { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// The interface language stored as `raw` ("de"); throws when the build has no such language.
inline engine::AppLanguage languageNamed(std::string_view raw)
{
    return engine::AppLanguage::fromRaw(raw).value();
}

void writeFile(const std::filesystem::path& path, std::string_view content);
std::string readFile(const std::filesystem::path& path);

// A /bin/sh script made executable; the tests' stand-in for a tool.
std::filesystem::path writeScript(const std::filesystem::path& path, std::string_view body);
// A copy of the stand-in tool `name` of tests/tools at `path`, executable.
std::filesystem::path installFakeTool(std::string_view name, const std::filesystem::path& path);

// The real tool at a fixed path, when this machine has it.
std::optional<std::filesystem::path> systemTool(std::string_view name);

// The first of these tools that this machine lacks, for GTEST_SKIP.
std::optional<std::string> missingTool(std::initializer_list<const char*> names);
// Skips the running test when this machine lacks one of the tools.
#define TARVO_SKIP_WITHOUT(...)                                                                                        \
    if (const auto tarvoMissing = ::tarvo::test::missingTool({__VA_ARGS__}))                                           \
    GTEST_SKIP() << *tarvoMissing << " is not installed"

// The names in a folder, hidden ones included, sorted.
std::vector<std::string> namesIn(const std::filesystem::path& folder);

// The ArchiveError the job ends with, and its case; a job that does not fail fails the test.
tarvo::engine::ArchiveError errorOf(const std::function<void()>& job);
tarvo::engine::ArchiveError::Case failureOf(const std::function<void()>& job);

// Bytes no compressor can shrink.
std::string noise(std::size_t size);

// Sets an environment variable for the lifetime of the guard.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

// Whether a process with this id still exists (zombies count as gone).
bool processAlive(int pid);

// A small tmpfs mounted at `folder` for the guard's lifetime, for running a file system full; where
// mounting is refused (not root, no privilege), `refusal` says why and the test skips.
class SmallFileSystem
{
public:
    SmallFileSystem(const std::filesystem::path& folder, const std::string& options);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    std::string refusal;

private:
    std::filesystem::path m_folder;
};

// A program run to its end: what it printed and how it ended.
struct ProgramResult
{
    int status = -1; // exit status, or 128 + signal
    std::string output;
    std::string errors;
};

// Starts a program (no shell) with `input` as its standard input and extra environment
// variables ("NAME=value"); `started` receives its process id.
class Program
{
public:
    Program(const std::vector<std::string>& argv, std::string_view input = {},
            const std::vector<std::string>& environment = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    int pid() const noexcept { return m_pid; }
    // Waits at most `seconds`, then kills it and fails the test.
    ProgramResult wait(int seconds = 120);

private:
    TempDir m_files;
    int m_pid = -1;
};

// The command line of the process whose /proc folder this is, arguments separated by NUL; empty
// when it ended meanwhile.
std::string commandLine(const std::filesystem::path& process);

ProgramResult runProgram(const std::vector<std::string>& argv, std::string_view input = {},
                         const std::vector<std::string>& environment = {});

// Runs a program found on the PATH in `folder`, to make what a test needs; a failure fails the test.
void runIn(const std::filesystem::path& folder, const std::vector<std::string>& argv,
           const std::vector<std::string>& environment = {});

} // namespace tarvo::test

namespace tarvo::engine {
// Entries in test failures as their fields.
inline void PrintTo(const ArchiveEntry& entry, std::ostream* out)
{
    *out << '{' << ::testing::PrintToString(entry.path) << ", " << entry.byteSize
         << (entry.isDirectory ? ", dir}" : "}");
}
} // namespace tarvo::engine
