// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tarvo::engine {

// What a queued job is asked to do. Compared by value, payload included.
class WorkAction
{
public:
    enum class Kind : std::uint8_t
    {
        extractConfirmed,
        extractFile,
        automatic,
        compress,
        extract,
        // Reads the archives through, writing nothing.
        test,
    };

    // Archive path -> password, as collected by the preview.
    using Passwords = std::map<std::string, std::string>;
    // Archive path -> the encoding its names were chosen to be read in; absent: detected.
    using Encodings = std::map<std::string, std::string>;

    static WorkAction extractConfirmed(Passwords passwords, Encodings encodings = {})
    {
        WorkAction action(Kind::extractConfirmed);
        action.m_passwords = std::move(passwords);
        action.m_encodings = std::move(encodings);
        return action;
    }
    static WorkAction extractFile(std::string entryPath, std::string password, std::string encoding = {})
    {
        return extractEntries({std::move(entryPath)}, std::move(password), std::move(encoding));
    }
    // Several entries of one archive, each with its path, into one new folder.
    static WorkAction extractEntries(std::vector<std::string> entryPaths, std::string password,
                                     std::string encoding = {})
    {
        WorkAction action(Kind::extractFile);
        action.m_entryPaths = std::move(entryPaths);
        action.m_password = std::move(password);
        action.m_encoding = std::move(encoding);
        return action;
    }
    static WorkAction automatic() { return WorkAction(Kind::automatic); }
    static WorkAction compress() { return WorkAction(Kind::compress); }
    static WorkAction extract() { return WorkAction(Kind::extract); }
    static WorkAction test() { return WorkAction(Kind::test); }

    Kind kind() const noexcept { return m_kind; }
    // Empty unless the kind carries them.
    const Passwords& passwords() const noexcept { return m_passwords; }
    const std::vector<std::string>& entryPaths() const noexcept { return m_entryPaths; }
    const std::string& password() const noexcept { return m_password; }
    const Encodings& encodings() const noexcept { return m_encodings; }
    const std::string& encoding() const noexcept { return m_encoding; }

    bool operator==(const WorkAction&) const = default;

private:
    explicit WorkAction(Kind kind)
        : m_kind(kind)
    {}

    Kind m_kind;
    Passwords m_passwords;
    std::vector<std::string> m_entryPaths;
    std::string m_password;
    Encodings m_encodings;
    std::string m_encoding;
};

} // namespace tarvo::engine
