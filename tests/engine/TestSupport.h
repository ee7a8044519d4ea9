#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::test {

// A fresh folder under the temporary directory, removed with everything in it at the end.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const noexcept { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

void writeFile(const std::filesystem::path& path, std::string_view content);
std::string readFile(const std::filesystem::path& path);

// A /bin/sh script made executable; the tests' stand-in for a tool.
std::filesystem::path writeScript(const std::filesystem::path& path, std::string_view body);

// The real tool at a fixed path, when this machine has it.
std::optional<std::filesystem::path> systemTool(std::string_view name);

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

} // namespace tarvo::test
