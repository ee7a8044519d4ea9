#pragma once

#include "ArchiveEntry.h"
#include "ArchiveSession.h"
#include "RarSupport.h"

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
};

// Lists what an archive holds, through lsar's JSON output (bsdtar's listing for zstd, which lsar
// does not read).
class ArchiveCatalog
{
public:
    // Fails with toolFailed (lsar missing, unreadable output), wrongPassword (a protected archive,
    // header-encrypted ones included, listed without its password or with a wrong one),
    // notAnArchive (lsar recognises no archive), cancelled, or a launch error.
    static ArchiveListing list(const std::filesystem::path& archive, std::string_view password,
                               const RarSupport& support, const std::shared_ptr<ArchiveSession>& session = {});

    // The JSON of `lsar -json`. Streams through it without building a document, so that a listing of
    // 100,000 entries costs little more than its text.
    static ArchiveListing parse(std::string_view output);
    // One line of `bsdtar -tv`; an entry with an empty path when the line is none. `isListed` tells
    // the entries listed before it, among which a hard link's target is.
    static ArchiveEntry parseTarLine(std::string_view line,
                                     const std::function<bool(const std::string&)>& isListed = {});
};

} // namespace tarvo::engine
