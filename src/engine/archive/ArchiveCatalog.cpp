// SPDX-License-Identifier: GPL-3.0-or-later

#include "ArchiveCatalog.h"

#include "SplitSet.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/adapters/TarvoLister.h"
#include "engine/adapters/Unar.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/ToolLocator.h"
#include "engine/util/LegacyNames.h"
#include "engine/util/PathText.h"
#include "engine/util/TextUtil.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/ArchiveNames.h"

#include <fstream>
#include <limits>
#include <unordered_set>

namespace tarvo::engine {

namespace {

// How many entries a streaming listing holds back before it hands them on: until then another
// lister can take over from one that fails; once they are handed on, none can.
constexpr std::size_t kHeldEntries = 100'000;

using EntrySink = ArchiveCatalog::EntrySink;
using ListerStatus = TarvoLister::Status;

// One listing: the archive and its kind, the tools found, its password, and where the entries go.
struct ListingJob
{
    std::filesystem::path archive;
    std::optional<ArchiveKind> kind;
    // Trimmed; empty: none.
    std::string secret;
    RarSupport tools;
    std::shared_ptr<ArchiveSession> session;
    // Present: the entries are handed on as they come instead of kept.
    const EntrySink* sink = nullptr;
    std::string encoding;

    std::optional<std::string> password() const { return secret.empty() ? std::nullopt : std::optional(secret); }
    // A tool's run for this listing: cancelled with it.
    ToolRun withSession(ToolRun run) const
    {
        run.session = session;
        return run;
    }
};

// Hands the entries held so far to `sink`, with their links, and forgets them.
void handOn(ArchiveListing& listing, const EntrySink& sink)
{
    auto link = listing.links.begin();
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        while (link != listing.links.end() && link->entry < i) {
            ++link;
        }
        sink(listing.entries[i], link != listing.links.end() && link->entry == i ? &*link : nullptr);
    }
    listing.entries.clear();
    listing.links.clear();
    listing.indexes.clear();
}

// What Tarvo's own lister leaves behind when lsar is to list instead.
struct OwnListerLeftOver
{
    // Its words, should lsar not read the archive either.
    std::optional<ArchiveError> failure;
    // It saw an encrypted entry before it stopped.
    bool sawEncrypted = false;
    // Its listing, whose names lsar may read better, to show should lsar fail.
    std::optional<ArchiveListing> foreignNames;
};

// The listing by Tarvo's own lister; none when lsar (`fallback`) should list instead: the headers
// are encrypted, names are in an encoding lsar recognises, or the own lister could not read it.
std::optional<ArchiveListing> listWithOwnLister(const ListingJob& job, std::string_view format, bool fallback,
                                                OwnListerLeftOver& left)
{
    const std::filesystem::path& lister = *job.tools.entryLister;
    const ToolRun run = job.withSession(TarvoLister::list(lister, format, job.archive, job.encoding));
    ArchiveListing listing;
    listing.hasContents = true;
    bool handedOn = false;
    ProcessRunner::Captured captured = ProcessRunner::captureWithStatus(run, [&](std::string_view line) {
        TarvoLister::readLine(line, listing);
        if (job.sink && listing.entries.size() >= kHeldEntries) {
            handOn(listing, *job.sink);
            handedOn = true;
        }
    });
    const bool listed = !captured.signalled &&
                        (captured.status == ListerStatus::listed || captured.status == ListerStatus::foreignNames);
    // Entries already handed on stay the listing's: no other lister may add its own to them.
    if (listed && (captured.status == ListerStatus::listed || !fallback || handedOn)) {
        return listing; // no indexes: they are unar's, and only lsar knows them
    }
    if (listed) {
        left.foreignNames = std::move(listing);
        return std::nullopt;
    }
    // A memory bomb for one parser is handed to no other.
    if (fallback && !captured.outOfMemory && !handedOn) {
        if (captured.status != ListerStatus::notAnArchive && captured.status != ListerStatus::headersEncrypted) {
            left.failure =
                ArchiveError::toolFailed(lastComponent(lister), captured.status, std::move(captured.message));
        }
        // libarchive stops at a 7-Zip link whose target is encrypted, and lsar lists on; what was
        // seen protected stays so.
        left.sawEncrypted = listing.isEncrypted;
        return std::nullopt;
    }
    if (!captured.signalled && captured.status == ListerStatus::notAnArchive) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    if (!captured.signalled && captured.status == ListerStatus::headersEncrypted) {
        // Only lsar reads encrypted headers.
        throw ArchiveError::toolFailed("lsar", 1, L10n::text(Text::lsarNotFound));
    }
    throw ArchiveError::toolFailed(lastComponent(lister), captured.status, std::move(captured.message));
}

// Reads `count` bytes at `offset`, or nothing.
std::optional<std::string> readAt(std::ifstream& file, std::uint64_t offset, std::size_t count)
{
    std::string bytes(count, '\0');
    file.seekg(static_cast<std::streamoff>(offset));
    if (!file.read(bytes.data(), static_cast<std::streamsize>(count))) {
        return std::nullopt;
    }
    return bytes;
}

std::uint64_t littleEndian(std::string_view bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[i - 1]);
    }
    return value;
}

// What a gzip file says it unpacks to: its last four bytes, the size modulo 4 GiB (of its last
// member, when there are several).
std::optional<std::int64_t> gzipStoredSize(const std::filesystem::path& archive)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(archive, error);
    std::ifstream file(archive, std::ios::binary);
    if (error || size < 18) {
        return std::nullopt;
    }
    const auto tail = readAt(file, size - 4, 4);
    return tail ? std::optional<std::int64_t>(static_cast<std::int64_t>(littleEndian(*tail))) : std::nullopt;
}

// What a zstd file says it unpacks to: the content sizes its frames declare, added up; nothing
// when a frame does not declare one. Skippable frames (as pzstd writes) are passed over.
std::optional<std::int64_t> zstdContentSize(const std::filesystem::path& archive)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(archive, error);
    std::ifstream file(archive, std::ios::binary);
    if (error) {
        return std::nullopt;
    }
    std::uint64_t total = 0;
    std::uint64_t at = 0;
    // A file of millions of tiny blocks would take long to walk: past this many, the size is unknown.
    int blocks = 1'000'000;
    while (at < size) {
        const auto magic = readAt(file, at, 8);
        if (!magic) {
            return std::nullopt;
        }
        const std::uint64_t number = littleEndian(magic->substr(0, 4));
        if ((number & 0xFFFFFFF0) == 0x184D2A50) {
            at += 8 + littleEndian(magic->substr(4, 4));
            continue;
        }
        if (number != 0xFD2FB528) {
            return std::nullopt;
        }
        const auto descriptor = static_cast<unsigned char>((*magic)[4]);
        const int sizeFlag = descriptor >> 6;
        const bool singleSegment = (descriptor & 0x20) != 0;
        const bool checksum = (descriptor & 0x04) != 0;
        constexpr int kDictionaryBytes[] = {0, 1, 2, 4};
        constexpr int kSizeBytes[] = {0, 2, 4, 8};
        const int sizeBytes = sizeFlag == 0 && singleSegment ? 1 : kSizeBytes[sizeFlag];
        if (sizeBytes == 0) {
            return std::nullopt;
        }
        const std::uint64_t field = at + 5 + (singleSegment ? 0 : 1) + kDictionaryBytes[descriptor & 3];
        const auto declared = readAt(file, field, static_cast<std::size_t>(sizeBytes));
        if (!declared) {
            return std::nullopt;
        }
        const std::uint64_t content = littleEndian(*declared) + (sizeBytes == 2 ? 256 : 0);
        if (content > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) - total) {
            return std::nullopt;
        }
        total += content;
        // The blocks: three bytes each telling whether it is the last, its type and its size.
        at = field + static_cast<std::uint64_t>(sizeBytes);
        for (bool last = false; !last;) {
            const auto header = readAt(file, at, 3);
            if (!header || --blocks < 0) {
                return std::nullopt;
            }
            const std::uint64_t block = littleEndian(*header);
            last = (block & 1) != 0;
            const std::uint64_t type = (block >> 1) & 3;
            at += 3 + (type == 1 ? 1 : block >> 3);
        }
        at += checksum ? 4 : 0;
    }
    return static_cast<std::int64_t>(total);
}

// A 7Z, or a damaged protected ZIP, listed by 7-Zip, which takes the password on standard input:
// lsar would need it on its command line, where any user of the machine can read it.
ArchiveListing listWithSevenZip(const ListingJob& job)
{
    const std::filesystem::path& sevenZip = *job.tools.sevenZip;
    ToolRun run = job.withSession(SevenZip::list(sevenZip, job.archive, job.password()));
    run.memoryCeiling = memoryCeiling(job.archive);
    SevenZip::ListReader reader;
    ProcessRunner::Captured captured =
        ProcessRunner::captureWithStatus(run, [&](std::string_view line) { reader.line(line); });
    std::vector<std::size_t> links;
    ArchiveListing listing = reader.finish(links);
    if (captured.status != 0 || captured.signalled) {
        throw ArchiveError::toolFailed(lastComponent(sevenZip), captured.status, std::move(captured.message));
    }
    // A link's target is its data. Past a few dozen links, or one that cannot be read, the target
    // is unknown and taken as leaving the folder: the warning errs on the careful side.
    constexpr std::size_t kReadLinks = 64;
    for (std::size_t i = 0; i < links.size(); ++i) {
        std::string target = "/";
        if (i < kReadLinks) {
            ToolRun read = job.withSession(
                SevenZip::readEntry(sevenZip, job.archive, listing.entries[links[i]].path, job.password()));
            read.memoryCeiling = run.memoryCeiling;
            try {
                target = ProcessRunner::capture(read);
            } catch (const ArchiveError& error) {
                if (error.errorCase() == ArchiveError::Case::cancelled) {
                    throw;
                }
            }
        }
        listing.links.push_back({links[i], target.empty() ? "/" : target, false});
    }
    return listing;
}

// lsar does not read zstd. bsdtar does, and lists the tar inside.
ArchiveListing listZstdTar(const ListingJob& job)
{
    const auto bsdtar = ToolLocator::executable("bsdtar");
    if (!bsdtar) {
        throw ArchiveError::toolFailed("bsdtar", 1, L10n::text(Text::listingUnreadable));
    }
    ToolRun run = job.withSession(Tar::list(*bsdtar, job.archive));
    run.memoryCeiling = memoryCeiling(job.archive);
    ArchiveListing listing;
    listing.hasContents = true;
    // A hard link's line is read by the names listed before it, which stay known.
    std::unordered_set<std::string> listed;
    std::size_t count = 0;
    const auto isListed = [&](const std::string& path) { return listed.contains(path); };
    ProcessRunner::Captured captured = ProcessRunner::captureWithStatus(run, [&](std::string_view line) {
        ArchiveEntry entry = Tar::parseListLine(line, isListed);
        if (!entry.path.empty()) {
            listed.insert(entry.path);
            listing.entries.push_back(std::move(entry));
            listing.indexes.push_back(-1);
            ++count;
            if (job.sink && listing.entries.size() >= kHeldEntries) {
                handOn(listing, *job.sink);
            }
        }
    });
    if (captured.status != 0 || captured.signalled) {
        if (count == 0 && !captured.signalled) {
            throw ArchiveError(ArchiveError::Case::notAnArchive);
        }
        throw ArchiveError::toolFailed("bsdtar", captured.status, std::move(captured.message));
    }
    return listing;
}

ArchiveListing listWithLsar(const ListingJob& job)
{
    const std::filesystem::path& archive = job.archive;
    const std::optional<ArchiveKind> kind = job.kind;
    if (kind == ArchiveKind::tarZst) {
        return listZstdTar(job);
    } else if (kind == ArchiveKind::zstd) {
        // One compressed file: its entry is the file it unpacks to, named as extracting names it.
        if (!kind->hasMagic(archive)) {
            throw ArchiveError(ArchiveError::Case::notAnArchive);
        }
        return ArchiveListing{{ArchiveEntry{ArchiveNames::stem(archive), zstdContentSize(archive).value_or(0), false}},
                              false,
                              {-1},
                              std::nullopt,
                              true,
                              {},
                              {}};
    }
    if (kind == ArchiveKind::sevenZip && job.tools.sevenZip && !job.secret.empty()) {
        return listWithSevenZip(job);
    }
    if (!job.tools.lister) {
        throw ArchiveError::toolFailed("lsar", 1, L10n::text(Text::lsarNotFound));
    }
    // Only a RAR's or a 7Z's names can be encrypted. Any other listing goes without the password,
    // which on lsar's command line any user of the machine could read.
    const bool namesMayBeEncrypted = kind == ArchiveKind::rar || kind == ArchiveKind::sevenZip;
    const std::optional<std::string> password = namesMayBeEncrypted ? job.password() : std::nullopt;
    const ToolRun run = job.withSession(Unar::list(*job.tools.lister, archive, password));
    Unar::ListingParse parsing;
    ProcessRunner::Captured captured =
        ProcessRunner::captureWithStatus(run, [&](std::string_view line) { parsing.line(line); });
    if (captured.status == 0 && !captured.signalled) {
        ArchiveListing listing = parsing.finish();
        // lsar tells no size for one gzip-compressed file; the file itself does.
        if (kind == ArchiveKind::gzip && listing.entries.size() == 1 && listing.entries.front().byteSize == 0) {
            listing.entries.front().byteSize = gzipStoredSize(archive).value_or(0);
        }
        return listing;
    }
    const ArchiveError failure =
        ArchiveError::toolFailed(lastComponent(*job.tools.lister), captured.status, std::move(captured.message));
    if (captured.signalled || captured.outOfMemory) {
        throw failure;
    }
    // lsar ends with status 1 and says why in its JSON: a header-encrypted archive with a wrong
    // password, or a file that is no archive at all.
    ArchiveListing listing;
    try {
        listing = parsing.finish();
    } catch (const ArchiveError&) {
        throw failure;
    }
    const std::int64_t code = listing.listerError.value_or(0);
    if (code == Unar::kPasswordError || (password && code != 0 && listing.entries.empty())) {
        throw ArchiveError(ArchiveError::Case::wrongPassword);
    }
    if (listing.listerError && !listing.hasContents) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    throw failure;
}

ArchiveListing listArchive(const ListingJob& job, bool unarNumbers)
{
    // A pipe, a socket or a device would keep the lister waiting or reading for ever.
    std::error_code error;
    if (const auto status = std::filesystem::status(job.archive, error);
        std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    const auto format = job.kind ? TarvoLister::formatOf(*job.kind) : std::nullopt;
    if (!format || !job.tools.entryLister || unarNumbers) {
        return listWithLsar(job);
    }
    const bool lsarReads = job.tools.lister && job.kind != ArchiveKind::tarZst;
    OwnListerLeftOver left;
    if (auto listing = listWithOwnLister(job, *format, lsarReads, left)) {
        return std::move(*listing);
    }
    // lsar lists a protected ZIP only with its password, which on its command line any user of the
    // machine could read: 7-Zip takes it on standard input instead.
    const bool zipFamily =
        job.kind == ArchiveKind::zip || job.kind == ArchiveKind::jar || job.kind == ArchiveKind::zipx;
    try {
        ArchiveListing listing =
            zipFamily && job.password() && job.tools.sevenZip ? listWithSevenZip(job) : listWithLsar(job);
        listing.isEncrypted = listing.isEncrypted || left.sawEncrypted;
        return listing;
    } catch (const ArchiveError& error) {
        if (error.errorCase() == ArchiveError::Case::cancelled) {
            throw;
        }
        // Listed already, only with names lsar might have read better.
        if (left.foreignNames) {
            return std::move(*left.foreignNames);
        }
        // When neither reads it, the own lister's words are the clearer ones.
        if (left.failure && error.errorCase() == ArchiveError::Case::toolFailed) {
            throw *left.failure;
        }
        throw;
    }
}

ListingJob jobFor(const ListRequest& request)
{
    // A part of an archive cut into parts lists the whole set.
    const std::filesystem::path archive = SplitSet::whole(request.archive);
    return {archive,
            ArchiveKind::from(archive),
            std::string(trimmed(request.password)),
            request.tools,
            request.session,
            nullptr,
            request.encoding};
}

} // namespace

ArchiveListing ArchiveCatalog::list(const ListRequest& request)
{
    return listArchive(jobFor(request), request.unarNumbers);
}

ArchiveListing ArchiveCatalog::list(const ListRequest& request, const EntrySink& sink)
{
    ListingJob job = jobFor(request);
    job.sink = &sink;
    ArchiveListing listing = listArchive(job, false);
    handOn(listing, sink);
    return listing;
}

std::string ArchiveCatalog::nameEncoding(const std::filesystem::path& archive, const RarSupport& support,
                                         std::string_view encoding, const std::shared_ptr<ArchiveSession>& session)
{
    const auto kind = ArchiveKind::from(archive);
    if (!kind || TarvoLister::formatOf(*kind) != "zip" || !support.entryLister) {
        return {};
    }
    ToolRun run = TarvoLister::detect(*support.entryLister, archive, encoding);
    run.session = session;
    std::string named;
    ProcessRunner::Captured captured = ProcessRunner::captureWithStatus(
        run, [&](std::string_view line) { named = nameEncodingNamed(trimmed(line)).value_or(std::string()); });
    // An archive it cannot read is left to the extraction to report.
    return captured.signalled || captured.status != ListerStatus::listed ? std::string() : named;
}

} // namespace tarvo::engine
