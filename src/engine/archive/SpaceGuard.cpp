// SPDX-License-Identifier: GPL-3.0-or-later

#include "SpaceGuard.h"

#include "ArchiveCatalog.h"
#include "engine/vocabulary/ArchiveError.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <sys/statvfs.h>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

std::optional<Declared> declaredSize(ArchiveKind kind, const fs::path& archive, const RarSupport& support,
                                     const std::optional<std::string>& password,
                                     const std::shared_ptr<ArchiveSession>& session)
{
    // Only a ZIP's tools trust what the data inflates to over what it declares: a tar entry is
    // exactly its declared bytes, and 7-Zip decodes a declared size. A ZIP's listing reads only its
    // central directory, where listing a tar.gz would decompress it all a second time.
    const bool canLie = kind == ArchiveKind::zip || kind == ArchiveKind::jar || kind == ArchiveKind::zipx;
    if (!canLie || !support.entryLister) {
        return std::nullopt;
    }
    // Never lsar: it would take a password on its command line, and it is slow on large archives.
    RarSupport quick = support;
    quick.lister.reset();
    Declared declared;
    try {
        ArchiveCatalog::list(
            {.archive = archive, .password = password.value_or(""), .tools = quick, .session = session},
            [&](const ArchiveEntry& entry, const ArchiveListing::Link*) {
                ++declared.entries;
                if (!entry.isDirectory && entry.byteSize > 0 &&
                    declared.bytes <= std::numeric_limits<std::int64_t>::max() - entry.byteSize) {
                    declared.bytes += entry.byteSize;
                }
            });
    } catch (const ArchiveError& error) {
        if (error.errorCase() == ArchiveError::Case::cancelled) {
            throw;
        }
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return declared;
}

} // namespace

DeclaredListing::DeclaredListing(ArchiveKind kind, const fs::path& archive, const RarSupport& support,
                                 const std::optional<std::string>& password, std::shared_ptr<ArchiveSession> job)
    : m_job(std::move(job))
    , m_result(std::async(std::launch::async, [kind, archive, support, password, session = m_own] {
        return declaredSize(kind, archive, support, password, session);
    }))
{}

DeclaredListing::~DeclaredListing()
{
    m_own->cancel();
    if (m_result.valid()) {
        m_result.wait();
    }
}

std::optional<Declared> DeclaredListing::ifReady()
{
    follow();
    if (!m_value && m_result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        return std::nullopt;
    }
    return value();
}

std::optional<Declared> DeclaredListing::wait()
{
    while (!m_value && m_result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        follow();
    }
    return value();
}

void DeclaredListing::follow()
{
    if (m_job && m_job->isCancelled()) {
        m_own->cancel();
    }
}

std::optional<Declared> DeclaredListing::value()
{
    if (!m_value) {
        try {
            m_value = m_result.get();
        } catch (...) {
            m_value = std::optional<Declared>();
        }
    }
    return *m_value;
}

std::optional<FileSystemRoom> fileSystemRoom(const fs::path& folder)
{
    struct statvfs info
    {};
    if (::statvfs(folder.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileSystemRoom{static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize,
                          static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize,
                          static_cast<std::uint64_t>(info.f_files), static_cast<std::uint64_t>(info.f_favail)};
}

SpaceGuard::SpaceGuard(const fs::path& folder, std::shared_ptr<DeclaredListing> declared, RoomMeasure measure)
    : m_folder(folder)
    , m_declared(std::move(declared))
    , m_measure(std::move(measure))
{
    if (const std::optional<FileSystemRoom> whole = m_measure(folder)) {
        m_start = Room{whole->freeBytes, whole->freeEntries};
        m_seen = m_start;
        m_floor.bytes = std::min({std::uint64_t{1} << 30, whole->bytes / 20, m_start.bytes / 2});
        m_countsEntries = whole->entries > 0;
        m_floor.entries = std::min<std::uint64_t>({100000, whole->entries / 20, m_start.entries / 2});
    }
}

bool SpaceGuard::exhausted() const
{
    const auto now = room();
    return now && (now->bytes < m_floor.bytes || (m_countsEntries && now->entries < m_floor.entries));
}

std::chrono::milliseconds SpaceGuard::check() const
{
    // The fastest a tool may fill a file system, per millisecond: 4 MiB, or 200 new entries.
    constexpr std::uint64_t kBytesPerMillisecond = 4 << 20;
    constexpr std::uint64_t kEntriesPerMillisecond = 200;
    constexpr std::chrono::milliseconds kLeisurely(20);

    const auto now = room();
    if (!now) {
        return kLeisurely;
    }
    // A look may come late when the machine is busy: the next gap is taken as up to twice the last.
    const auto taken = [](std::uint64_t before, std::uint64_t after) { return 2 * (before - std::min(before, after)); };
    if (now->bytes < m_floor.bytes + taken(m_seen.bytes, now->bytes) ||
        (m_countsEntries && now->entries < m_floor.entries + taken(m_seen.entries, now->entries))) {
        throw ArchiveError(ArchiveError::Case::notEnoughSpace);
    }
    m_seen = *now;
    // Disk use is more than the bytes (a block per small file, the folders), and others may write to
    // the same file system meanwhile: only far more than declared stops the tool.
    if (const std::optional<Declared> declared = m_declared ? m_declared->ifReady() : std::nullopt) {
        const auto used = m_start.bytes - std::min(m_start.bytes, now->bytes);
        const auto allowed = static_cast<std::uint64_t>(declared->bytes) + (64ULL << 20) +
                             static_cast<std::uint64_t>(declared->bytes / 8) +
                             static_cast<std::uint64_t>(declared->entries) * 8192;
        if (used > allowed) {
            throw ArchiveError(ArchiveError::Case::unpacksBeyondDeclared);
        }
    }
    std::uint64_t soonest = (now->bytes - m_floor.bytes) / kBytesPerMillisecond;
    if (m_countsEntries) {
        soonest = std::min(soonest, (now->entries - m_floor.entries) / kEntriesPerMillisecond);
    }
    return std::chrono::milliseconds(std::min<std::uint64_t>(soonest, kLeisurely.count()));
}

std::optional<std::uint64_t> SpaceGuard::writeAllowance() const
{
    if (m_start.bytes <= m_floor.bytes) {
        return std::nullopt;
    }
    return m_start.bytes - m_floor.bytes;
}

RunControl SpaceGuard::guarding(const RunControl& control) const
{
    RunControl guarded = control;
    guarded.watch = [guard = *this, outer = control.watch] {
        const std::chrono::milliseconds soon = guard.check();
        return outer ? std::min(soon, outer()) : soon;
    };
    guarded.fileSizeCeiling = writeAllowance();
    return guarded;
}

std::optional<SpaceGuard::Room> SpaceGuard::room() const
{
    const std::optional<FileSystemRoom> now = m_measure(m_folder);
    if (!now) {
        return std::nullopt;
    }
    return Room{now->freeBytes, now->freeEntries};
}

} // namespace tarvo::engine
