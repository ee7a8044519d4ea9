// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace tarvo::engine {

// The failures of the archive engine and of the jobs built on it. A failure of the system beneath
// (a file that cannot be written, a name too long, a tool that cannot be started) travels as the
// standard library's filesystem_error or system_error instead, with the system's own words.
class ArchiveError : public std::exception
{
public:
    enum class Case : std::uint8_t
    {
        toolFailed,
        noInputs,
        notAnArchive,
        rarUnavailable,
        sevenZipUnavailable,
        wrongPassword,
        cancelled,
        extractorUnavailable,
        destinationInsideSource,
        // The entry path is unsafe, or the archive has no such entry.
        entryCannotBeExtracted,
        // Every archive of an extraction failed; the message is the first failure's text.
        everyArchiveFailed,
        // Unpacking was stopped before it could fill the file system.
        notEnoughSpace,
        // The archive unpacked to more than its listing declares.
        unpacksBeyondDeclared,
        // A new ZIP is to be AES-encrypted, which only 7-Zip writes, and it is missing.
        aesNeedsSevenZip,
        // The ZIP's password is longer than, or has characters beyond what, its tool takes: 7-Zip
        // for AES, or zip and unzip on their terminal (80 bytes) where 7-Zip cannot stand in.
        aesPasswordTooLong,
        zipPasswordTooLong,
        // A part of an archive cut into parts is not there: its number (the status) and name.
        partMissing,
        // The archive cannot be changed in place: its kind, or its parts.
        cannotEdit,
        partsCannotChange,
        // An edit names an entry the archive already holds, or one it lacks (the message).
        entryExists,
        entryMissing,
        // A new name that is empty, "." or "..", or holds a "/".
        badEntryName,
        // The archive, or a folder holding it, is among the items to add to it.
        addsItself,
        // Someone else wrote the archive while it was being changed.
        archiveChanged,
        // The changed archive did not list what the edit should have made.
        editNotVerified,
        // Parts are asked of a format no tool cuts.
        volumesUnsupported,
    };

    // Any case but toolFailed, everyArchiveFailed, partMissing, entryExists and entryMissing, which
    // need their payload.
    explicit ArchiveError(Case errorCase);
    // `message` is the tool's trimmed output with the password masked, or a text already localized.
    static ArchiveError toolFailed(std::string tool, std::int32_t status, std::string message);
    static ArchiveError everyArchiveFailed(std::string firstFailure);
    static ArchiveError partMissing(std::int32_t number, std::string name);
    static ArchiveError entryExists(std::string name);
    static ArchiveError entryMissing(std::string name);

    Case errorCase() const noexcept { return m_case; }
    const std::string& tool() const noexcept { return m_tool; }
    std::int32_t status() const noexcept { return m_status; }
    const std::string& message() const noexcept { return m_message; }

    // The message for the user, in the interface language of the moment it is asked for.
    std::string errorDescription() const;

    // The case with its values, e.g. toolFailed(tool: "zip", status: 18, message: ""), for logs and
    // the self-test; never shown as a user message.
    const char* what() const noexcept override { return m_plain.c_str(); }

    bool operator==(const ArchiveError& other) const noexcept
    {
        return m_case == other.m_case && m_tool == other.m_tool && m_status == other.m_status &&
               m_message == other.m_message;
    }

private:
    ArchiveError(Case errorCase, std::string tool, std::int32_t status, std::string message);

    Case m_case;
    std::string m_tool;
    std::int32_t m_status = 0;
    std::string m_message;
    std::string m_plain;
};

} // namespace tarvo::engine
