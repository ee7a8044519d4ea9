// SPDX-License-Identifier: GPL-3.0-or-later

// lsar's JSON listing, read by Unar::parseListing. Output it cannot read must fail as an
// ArchiveError; the listing it returns must hold together.
#include "FuzzCheck.h"
#include "engine/adapters/Unar.h"
#include "engine/vocabulary/ArchiveError.h"

#include <cstdint>
#include <cstdio>
#include <exception>

using namespace tarvo::engine;
using tarvo::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ArchiveListing listing;
    try {
        listing = Unar::parseListing(tarvo::fuzz::asText(data, size));
    } catch (const ArchiveError&) {
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "parse let another exception through: %s\n", error.what());
        std::abort();
    }
    require(listing.indexes.size() == listing.entries.size(), "one lsar index per entry");
    require(listing.hasContents || listing.entries.empty(), "entries only from a contents list");
    for (const ArchiveEntry& entry : listing.entries) {
        require(!entry.path.empty(), "no entry without a path");
    }
    std::size_t next = 0; // links come in the entries' order, one at most per entry
    for (const ArchiveListing::Link& link : listing.links) {
        require(link.entry >= next && link.entry < listing.entries.size(), "a link belongs to one listed entry");
        require(!link.target.empty(), "a link points somewhere");
        next = link.entry + 1;
    }
    return 0;
}
