// SPDX-License-Identifier: GPL-3.0-or-later

// LineSplitter past its line limit: the input after its first four bytes is repeated beyond
// kMaxLineBytes and fed in chunks of those bytes times 4 KiB. Apart from fuzz_line_splitter
// because each run handles a megabyte: these run a thousand times slower.
#include "FuzzCheck.h"
#include "engine/util/LineSplitter.h"
#include "engine/util/TextUtil.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

using namespace tarvo::engine;
using tarvo::fuzz::require;

namespace {

constexpr std::size_t kMaxLine = LineSplitter<void (*)(std::string_view)>::kMaxLineBytes;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::array<std::size_t, 4> sizes{};
    if (size <= sizes.size()) {
        return 0;
    }
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        sizes[i] = std::size_t{data[i]} << 12;
    }
    if (std::all_of(sizes.begin(), sizes.end(), [](std::size_t s) { return s == 0; })) {
        sizes[0] = 1;
    }
    const std::string_view pattern = tarvo::fuzz::asText(data + sizes.size(), size - sizes.size());
    // Whole repeats, so that the stretched input is UTF-8 when the pattern is. The buffer is kept
    // from run to run: each fresh megabyte from ASan's allocator costs 256 page faults.
    const std::size_t total = (kMaxLine / pattern.size() + 2) * pattern.size();
    static std::string stretched;
    stretched.reserve(total);
    stretched.assign(pattern);
    while (stretched.size() < total) {
        stretched.append(stretched, 0, std::min(stretched.size(), total - stretched.size()));
    }

    // A line is cut once it outgrows the limit, so it holds at most the limit and one chunk;
    // a repair turns a bad byte into three at most.
    const std::size_t chunk = std::min(*std::max_element(sizes.begin(), sizes.end()), stretched.size());
    const std::size_t longest = (kMaxLine + chunk) * (isValidUtf8(pattern) ? 1 : 3);
    LineSplitter splitter([&](std::string_view line, bool) {
        require(!line.empty(), "no empty line");
        require(isValidUtf8(line), "lines are UTF-8");
        require(line.size() <= longest, "long lines are cut");
    });
    std::string_view rest = stretched;
    for (std::size_t next = 0; !rest.empty(); next = (next + 1) % sizes.size()) {
        const std::size_t take = std::min(sizes[next], rest.size());
        splitter.feed(rest.substr(0, take));
        rest.remove_prefix(take);
    }
    splitter.finish();
    return 0;
}
