// SPDX-License-Identifier: GPL-3.0-or-later

// tarvo-lister's lines ("TYPE SIZE FLAGS PATH[ LINK]", fields escaped as "\" and two hex digits),
// added one by one to a listing by TarvoLister::readLine.
#include "FuzzCheck.h"
#include "engine/adapters/TarvoLister.h"

#include <cstdint>

using namespace tarvo::engine;
using tarvo::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ArchiveListing listing;
    tarvo::fuzz::forEachLine(tarvo::fuzz::asText(data, size), [&](std::string_view line) {
        const std::size_t entries = listing.entries.size();
        const std::size_t links = listing.links.size();
        const bool encrypted = listing.isEncrypted;
        if (!TarvoLister::readLine(line, listing)) {
            require(listing.entries.size() == entries && listing.links.size() == links &&
                        listing.isEncrypted == encrypted,
                    "a line that is no entry leaves the listing as it was");
            return;
        }
        require(listing.entries.size() == entries + 1, "an entry line adds one entry");
        require(!listing.entries.back().path.empty(), "no entry without a path");
        require(listing.entries.back().byteSize >= 0, "no negative entry size");
        require(listing.links.size() <= links + 1, "one link at most per entry");
        if (listing.links.size() > links) {
            require(listing.links.back().entry == entries, "a link belongs to the entry of its line");
        }
    });
    for (const ArchiveListing::Link& link : listing.links) {
        require(link.entry < listing.entries.size(), "a link belongs to a listed entry");
    }
    return 0;
}
