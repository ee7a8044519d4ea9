#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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

} // namespace tarvo::test
