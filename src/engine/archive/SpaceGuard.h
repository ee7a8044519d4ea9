// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveEngine.h"
#include "engine/tools/ArchiveSession.h"
#include "engine/tools/RarSupport.h"
#include "engine/vocabulary/ArchiveKind.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

namespace tarvo::engine {

// What an archive's listing says it unpacks to: its files' sizes added up, and its entries.
struct Declared
{
    std::int64_t bytes = 0;
    std::int64_t entries = 0;
};

// The declared size, listed beside the extraction rather than before it, so that it costs no time:
// from a quick listing by Tarvo's own lister where it reads the kind; none when it cannot tell. A
// listing that fails leaves the extraction to fail or succeed on its own. It runs under a session
// of its own (a session runs one tool at a time), which follows the job's.
class DeclaredListing
{
public:
    DeclaredListing(ArchiveKind kind, const std::filesystem::path& archive, const RarSupport& support,
                    const std::optional<std::string>& password, std::shared_ptr<ArchiveSession> job);
    ~DeclaredListing();
    DeclaredListing(const DeclaredListing&) = delete;
    DeclaredListing& operator=(const DeclaredListing&) = delete;

    // What it told, once it is done; nothing before.
    std::optional<Declared> ifReady();
    std::optional<Declared> wait();

private:
    void follow();
    std::optional<Declared> value();

    std::shared_ptr<ArchiveSession> m_job;
    std::shared_ptr<ArchiveSession> m_own = std::make_shared<ArchiveSession>();
    std::future<std::optional<Declared>> m_result;
    std::optional<std::optional<Declared>> m_value;
};

// What a file system holds, in bytes and in entries (inodes), and what of each is free to the user.
struct FileSystemRoom
{
    std::uint64_t bytes = 0;
    std::uint64_t freeBytes = 0;
    std::uint64_t entries = 0; // 0 where the file system has no fixed number of them (btrfs)
    std::uint64_t freeEntries = 0;
};
using RoomMeasure = std::function<std::optional<FileSystemRoom>(const std::filesystem::path&)>;

// The file system's own account of the folder's room (statvfs); none when it cannot be read.
std::optional<FileSystemRoom> fileSystemRoom(const std::filesystem::path& folder);

// Keeps an extraction from filling its file system: it may not take the free space below a reserve
// of 1 GiB, or 5 % of a smaller file system, nor below half of what was free when it began; nor the
// free entries (inodes), where the file system counts them, below 5 % of them or 100,000, nor below
// half of what was free.
class SpaceGuard
{
public:
    // `declared`: what the archive's listing says it unpacks to, when known. Writing far more than
    // that stops the tool as well.
    // `measure` tells the room; the tests stand in a small file system of their own for it.
    explicit SpaceGuard(const std::filesystem::path& folder, std::shared_ptr<DeclaredListing> declared = {},
                        RoomMeasure measure = fileSystemRoom);

    bool exhausted() const;
    // Throws notEnoughSpace or unpacksBeyondDeclared, also when the tool, at the pace it kept since
    // the last look, would reach the reserve before the next; otherwise says how soon to look
    // again: the closer the reserve, the sooner, as a bomb may write gigabytes a second.
    std::chrono::milliseconds check() const;
    // The most one file may take without going into the reserve; none when unknown.
    std::optional<std::uint64_t> writeAllowance() const;
    // A copy of `control` whose tools are stopped when the guard says so.
    RunControl guarding(const RunControl& control) const;

private:
    struct Room
    {
        std::uint64_t bytes = 0;
        std::uint64_t entries = 0;
    };
    std::optional<Room> room() const;

    std::filesystem::path m_folder;
    std::shared_ptr<DeclaredListing> m_declared;
    RoomMeasure m_measure;
    Room m_start;
    Room m_floor;
    bool m_countsEntries = false;
    // What the last look saw: what the tool took since tells its pace.
    mutable Room m_seen;
};

} // namespace tarvo::engine
