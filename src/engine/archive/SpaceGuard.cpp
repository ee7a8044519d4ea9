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

SpaceGuard::SpaceGuard(const fs::path& folder, std::shared_ptr<DeclaredListing> declared)
    : m_folder(folder)
    , m_declared(std::move(declared))
{
    struct statvfs info
    {};
    if (::statvfs(folder.c_str(), &info) == 0) {
        const std::uint64_t size = static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize;
        const std::uint64_t reserve = std::min<std::uint64_t>(1ULL << 30, size / 20);
        m_start = available().value_or(0);
        m_floor = std::min(reserve, m_start / 2);
    }
}

bool SpaceGuard::exhausted() const
{
    const auto free = available();
    return free && *free < m_floor;
}

void SpaceGuard::check() const
{
    if (exhausted()) {
        throw ArchiveError(ArchiveError::Case::notEnoughSpace);
    }
    // Disk use is more than the bytes (a block per small file, the folders), and others may write to
    // the same file system meanwhile: only far more than declared stops the tool.
    if (const std::optional<Declared> declared = m_declared ? m_declared->ifReady() : std::nullopt) {
        const auto used = m_start - std::min(m_start, available().value_or(m_start));
        const auto allowed = static_cast<std::uint64_t>(declared->bytes) + (64ULL << 20) +
                             static_cast<std::uint64_t>(declared->bytes / 8) +
                             static_cast<std::uint64_t>(declared->entries) * 8192;
        if (used > allowed) {
            throw ArchiveError(ArchiveError::Case::unpacksBeyondDeclared);
        }
    }
}

RunControl SpaceGuard::guarding(const RunControl& control) const
{
    RunControl guarded = control;
    guarded.watch = [guard = *this, outer = control.watch] {
        guard.check();
        if (outer) {
            outer();
        }
    };
    return guarded;
}

std::optional<std::uint64_t> SpaceGuard::available() const
{
    struct statvfs info
    {};
    if (::statvfs(m_folder.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

} // namespace tarvo::engine
