// SPDX-License-Identifier: GPL-3.0-or-later

// The lines of `bsdtar -tv`, read one by one by Tar::parseListLine as the listing of a
// .tar.zst is: a hard link's target is looked up among the paths listed before it.
#include "FuzzCheck.h"
#include "engine/adapters/Tar.h"

#include <cstdint>
#include <string>
#include <unordered_set>

using namespace tarvo::engine;
using tarvo::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::unordered_set<std::string> listed;
    const auto isListed = [&](const std::string& path) { return listed.contains(path); };
    tarvo::fuzz::forEachLine(tarvo::fuzz::asText(data, size), [&](std::string_view line) {
        ArchiveEntry entry = Tar::parseListLine(line, isListed);
        // The size is read from digits alone, so a negative one can only be an overflow.
        require(entry.byteSize >= 0, "no negative entry size");
        if (!entry.path.empty()) {
            listed.insert(std::move(entry.path));
        }
    });
    return 0;
}
