// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::engine {

struct ArchiveListing;
struct ArchiveEntry;

// What a listing tells about an archive before anything is written.
struct SafetyReport
{
    std::int64_t entries = 0;
    std::int64_t unpackedBytes = 0;        // the files' sizes added up, as the archive declares them
    std::int64_t entriesOutside = 0;       // "../" climbing out, or an absolute path
    std::int64_t linksOutside = 0;         // links whose target lies outside the new folder
    std::optional<std::int64_t> freeBytes; // on the destination's file system, when known
    bool exceedsFreeSpace = false;
    bool unpacksHundredfold = false; // over 100 times the archive's size, and over 1 GB

    // Nothing to tell the user.
    bool isClear() const
    {
        return entriesOutside == 0 && linksOutside == 0 && !exceedsFreeSpace && !unpacksHundredfold;
    }

    bool operator==(const SafetyReport&) const = default;
};

// The safety report built one entry at a time, as a listing streams in, so that a listing of
// millions of entries need not be held. Each path is walked through the links listed before it,
// as a tool unpacking in the archive's order meets them.
class SafetyWalk
{
public:
    SafetyWalk();
    ~SafetyWalk();
    SafetyWalk(SafetyWalk&&) noexcept;
    SafetyWalk& operator=(SafetyWalk&&) noexcept;

    // The next entry; for a link, where it points and whether it is a hard link.
    void add(const ArchiveEntry& entry, const std::string* linkTarget = nullptr, bool hardLink = false);
    SafetyReport report(std::int64_t archiveBytes, std::optional<std::int64_t> freeBytes) const;
    // For an archive unpacked beside itself.
    SafetyReport report(const std::filesystem::path& archive) const;

private:
    struct Links;
    std::unique_ptr<Links> m_links; // only the symbolic links, which the walk follows
    std::int64_t m_entries = 0;
    std::int64_t m_unpackedBytes = 0;
    std::int64_t m_entriesOutside = 0;
    std::int64_t m_linksOutside = 0;
};

class ArchiveSafety
{
public:
    // The report for an archive unpacked beside itself.
    static SafetyReport inspect(const ArchiveListing& listing, const std::filesystem::path& archive);
    static SafetyReport inspect(const ArchiveListing& listing, std::int64_t archiveBytes,
                                std::optional<std::int64_t> freeBytes);

    // An entry path that would land outside the folder it is unpacked into: absolute (also
    // "C:" or a leading backslash) or climbing out with "..". Backslashes count as separators, as
    // some tools read them so.
    static bool leavesFolder(std::string_view path);
    // A link's target that lies outside: a hard link's target is another entry's path; a symbolic
    // link's is read from the folder that holds the link.
    static bool linkLeavesFolder(std::string_view entry, std::string_view target, bool hard);
};

} // namespace tarvo::engine
