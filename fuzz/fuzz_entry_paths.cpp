// SPDX-License-Identifier: GPL-3.0-or-later

// ArchiveSafety's verdicts on entry paths and link targets, and its report on a listing. The input
// is text: a first line "ARCHIVE_BYTES FREE_BYTES" (FREE_BYTES "-" when unknown), then one entry a
// line, "TYPE<TAB>SIZE<TAB>PATH[<TAB>TARGET]" with TYPE f, d, l (symbolic link) or h (hard link).
#include "FuzzCheck.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveSafety.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

using namespace tarvo::engine;
using tarvo::fuzz::require;

namespace {

std::optional<std::int64_t> number(std::string_view text)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? std::optional(value) : std::nullopt;
}

std::string_view nextField(std::string_view& rest, char separator)
{
    const std::size_t end = rest.find(separator);
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return field;
}

std::string joined(std::string_view a, std::string_view b)
{
    return std::string(a).append(b);
}

void checkPath(std::string_view path)
{
    const bool leaves = ArchiveSafety::leavesFolder(path);
    if (!path.empty() && (path.front() == '/' || path.front() == '\\')) {
        require(leaves, "an absolute path leaves");
    }
    require(ArchiveSafety::leavesFolder(joined("../", path)), "a path under \"..\" leaves");
    if (!leaves) {
        require(!ArchiveSafety::leavesFolder(joined("a/", path)), "a path inside stays inside one folder deeper");
        // Except a bare drive: "C:" is a name, "C:/a" a Windows path from the root.
        const bool drive = path.size() == 2 && path[1] == ':';
        require(path.empty() || drive || !ArchiveSafety::leavesFolder(joined(path, "/a")),
                "a path inside stays inside with a name added");
    }
}

void checkLink(std::string_view entry, std::string_view target)
{
    const bool entryLeaves = ArchiveSafety::leavesFolder(entry);
    const bool targetLeaves = ArchiveSafety::leavesFolder(target);
    require(ArchiveSafety::linkLeavesFolder(entry, target, true) == targetLeaves,
            "a hard link leaves when its target path does");
    const bool symbolicLeaves = ArchiveSafety::linkLeavesFolder(entry, target, false);
    if (entryLeaves || (!target.empty() && target.front() == '/')) {
        require(symbolicLeaves, "a link outside or to an absolute path leaves");
    }
    if (!entryLeaves && !targetLeaves) {
        // Read from a folder inside rather than from the top, a target climbs no higher.
        require(!symbolicLeaves, "a target inside from the top stays inside from any folder inside");
    }
    if (!entryLeaves && entry.find_first_of("/\\") == std::string_view::npos) {
        require(symbolicLeaves == targetLeaves, "a link at the top reads its target from the top");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view rest = tarvo::fuzz::asText(data, size);
    std::string_view head = nextField(rest, '\n');
    const std::int64_t archiveBytes = number(nextField(head, ' ')).value_or(0);
    const std::optional<std::int64_t> freeBytes = number(head);

    ArchiveListing listing;
    std::int64_t largest = 0;
    std::int64_t sum = 0;
    bool overflow = false;
    tarvo::fuzz::forEachLine(rest, [&](std::string_view line) {
        const std::string_view type = nextField(line, '\t');
        const std::int64_t bytes = number(nextField(line, '\t')).value_or(0);
        const std::string_view path = nextField(line, '\t');
        const std::string_view target = line;
        checkPath(path);
        checkPath(target);
        checkLink(path, target);
        if (path.empty()) {
            return;
        }
        const bool directory = type == "d";
        if (!target.empty() && (type == "l" || type == "h")) {
            listing.links.push_back({listing.entries.size(), std::string(target), type == "h"});
        }
        listing.entries.push_back({std::string(path), bytes, directory});
        if (!directory && bytes > 0) {
            largest = std::max(largest, bytes);
            overflow = overflow || __builtin_add_overflow(sum, bytes, &sum);
        }
    });

    const SafetyReport report = ArchiveSafety::inspect(listing, archiveBytes, freeBytes);
    require(report.entries == static_cast<std::int64_t>(listing.entries.size()), "every entry counted");
    require(report.entriesOutside >= 0 && report.entriesOutside <= report.entries, "entries outside among entries");
    require(report.linksOutside >= 0 && report.linksOutside <= static_cast<std::int64_t>(listing.links.size()),
            "links outside among links");
    require(report.unpackedBytes == (overflow ? std::numeric_limits<std::int64_t>::max() : sum),
            "the files' sizes added up, held at the largest number");
    require(report.unpackedBytes >= largest, "the total holds every file");
    require(report.freeBytes == freeBytes, "the free space as given");
    require(report.exceedsFreeSpace == (freeBytes && report.unpackedBytes > *freeBytes), "more than the free space");
    // unpacked > 100 * archive, without the product: unpacked - 1 >= 100 * archive.
    const bool hundredfold = archiveBytes <= 0 || (report.unpackedBytes - 1) / 100 >= archiveBytes;
    require(report.unpacksHundredfold == (report.unpackedBytes > 1'000'000'000 && hundredfold),
            "over a gigabyte and over a hundred times the archive");
    return 0;
}
