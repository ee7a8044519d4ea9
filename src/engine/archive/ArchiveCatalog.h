#pragma once

#include "ArchiveEntry.h"
#include "engine/tools/ArchiveSession.h"
#include "engine/tools/RarSupport.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

struct ArchiveListing
{
    std::vector<ArchiveEntry> entries; // in the lister's order, nameless ones left out
    bool isEncrypted = false;          // the archive or any entry is marked encrypted
    // The lister's own number of each entry (unar extracts single entries by it), -1 when absent.
    std::vector<std::int64_t> indexes;
    // What lsar adds when it could not read everything: its error code and whether a contents
    // list was there at all.
    std::optional<std::int64_t> listerError;
    bool hasContents = false;

    // An entry that is a link: its place in `entries`, where it points, and whether it is a hard
    // link (whose target is another entry's path) rather than a symbolic one.
    struct Link
    {
        std::size_t entry = 0;
        std::string target;
        bool hard = false;

        bool operator==(const Link&) const = default;
    };
    std::vector<Link> links;
    // The legacy encoding the names were read in ("Shift-JIS"), detected or chosen; empty when the
    // archive's names need none.
    std::string nameEncoding;
};

// Lists what an archive holds. ZIP, 7Z and the tar family go to Tarvo's own lister (tarvo-lister,
// on libarchive), which is many times faster than lsar; lsar stays for what only it reads: RAR
// (libarchive does not tell its encrypted entries), archives whose headers are encrypted, single
// compressed files, archives the own lister cannot read, and unar's entry numbers. Every lister
// runs under a memory ceiling.
class ArchiveCatalog
{
public:
    // Fails with toolFailed (no lister, unreadable output, out of memory), wrongPassword (a
    // protected archive, header-encrypted ones included, listed without its password or with a
    // wrong one), notAnArchive (no lister recognises an archive), cancelled, or a launch error.
    // `unarNumbers`: the listing must carry unar's entry numbers, which only lsar knows.
    // `encoding`: what a ZIP's names that are not UTF-8 are read in; empty: detected.
    static ArchiveListing list(const std::filesystem::path& archive, std::string_view password,
                               const RarSupport& support, const std::shared_ptr<ArchiveSession>& session = {},
                               bool unarNumbers = false, std::string_view encoding = {});

    // Takes each entry, in the lister's order, with its link when it is one.
    using EntrySink = std::function<void(const ArchiveEntry& entry, const ArchiveListing::Link* link)>;
    // list(), handing the entries to `sink` as they arrive instead of keeping them, so that a listing
    // of millions of entries costs little memory: the listing returned holds none, nor links or
    // numbers. Tarvo's own lister and bsdtar stream; lsar's entries come when it is done. The first
    // entries are held back a while, so that another lister can still take over from one that fails.
    static ArchiveListing list(const std::filesystem::path& archive, std::string_view password,
                               const RarSupport& support, const std::shared_ptr<ArchiveSession>& session,
                               const EntrySink& sink, std::string_view encoding = {});

    // The legacy encoding a listing reads a ZIP's names in: `encoding` when given, else the one
    // detected; empty when the names need none, for other kinds, and without Tarvo's own lister
    // (which tells it from the central directory alone).
    static std::string nameEncoding(const std::filesystem::path& archive, const RarSupport& support,
                                    std::string_view encoding, const std::shared_ptr<ArchiveSession>& session = {});

    // The most memory a tool may take for this archive: `base` (a gigabyte for a lister), and room
    // for archives of millions of entries (lsar needs about 15 times the size of such a ZIP).
    static std::uint64_t memoryCeiling(const std::filesystem::path& archive, std::uint64_t base = 1ULL << 30);

    // One line of tarvo-lister's output, added to `listing`; false when the line is no entry (the
    // line telling the names' encoding sets `nameEncoding`).
    static bool readListerLine(std::string_view line, ArchiveListing& listing);

    // The JSON of `lsar -json`. Streams through it without building a document, so that a listing of
    // 100,000 entries costs little more than its text.
    static ArchiveListing parse(std::string_view output);
    // One line of `bsdtar -tv`; an entry with an empty path when the line is none. `isListed` tells
    // the entries listed before it, among which a hard link's target is.
    static ArchiveEntry parseTarLine(std::string_view line,
                                     const std::function<bool(const std::string&)>& isListed = {});
};

} // namespace tarvo::engine
