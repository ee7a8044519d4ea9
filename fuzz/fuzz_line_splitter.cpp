// SPDX-License-Identifier: GPL-3.0-or-later

// LineSplitter over a tool's output stream. The input's first four bytes are the sizes of the
// chunks the rest is fed in (0: an empty chunk), as reads from a pipe would cut it.
#include "FuzzCheck.h"
#include "engine/util/LineSplitter.h"
#include "engine/util/TextUtil.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using namespace tarvo::engine;
using tarvo::fuzz::require;

namespace {

struct Line
{
    std::string text;
    bool redrawn = false;

    bool operator==(const Line&) const = default;
};

using Sizes = std::array<std::size_t, 4>;

constexpr std::size_t kMaxLine = LineSplitter<void (*)(std::string_view)>::kMaxLineBytes;

template <typename Splitter> void feedChunks(Splitter& splitter, std::string_view bytes, const Sizes& sizes)
{
    for (std::size_t next = 0; !bytes.empty(); next = (next + 1) % sizes.size()) {
        const std::size_t size = std::min(sizes[next], bytes.size());
        splitter.feed(bytes.substr(0, size));
        bytes.remove_prefix(size);
    }
    splitter.finish();
}

std::vector<Line> linesOf(std::string_view bytes, const Sizes& sizes)
{
    std::vector<Line> lines;
    LineSplitter splitter([&](std::string_view line, bool redrawn) { lines.push_back({std::string(line), redrawn}); });
    feedChunks(splitter, bytes, sizes);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Sizes sizes{};
    if (size < sizes.size()) {
        return 0;
    }
    std::copy_n(data, sizes.size(), sizes.begin());
    if (std::all_of(sizes.begin(), sizes.end(), [](std::size_t s) { return s == 0; })) {
        sizes[0] = 1;
    }
    const std::string_view bytes = tarvo::fuzz::asText(data + sizes.size(), size - sizes.size());

    const std::vector<Line> lines = linesOf(bytes, sizes);
    for (const Line& line : lines) {
        require(!line.text.empty(), "no empty line");
        require(isValidUtf8(line.text), "lines are UTF-8");
        require(trimmed(line.text) == line.text, "lines are trimmed");
        require(line.text.find_first_of("\n\b") == std::string::npos, "no separator inside a line");
    }

    std::vector<std::string> plain;
    LineSplitter plainSplitter([&](std::string_view line) { plain.emplace_back(line); });
    feedChunks(plainSplitter, bytes, sizes);
    require(std::equal(plain.begin(), plain.end(), lines.begin(), lines.end(),
                       [](const std::string& text, const Line& line) { return text == line.text; }),
            "a sink without the redrawn flag gets the same lines");

    // Below the limit nothing is cut, so where the chunks end must not matter (fuzz_long_lines
    // goes past it).
    if (bytes.size() <= kMaxLine) {
        require(linesOf(bytes, {bytes.size(), 0, 0, 0}) == lines, "the same lines however the output is cut");
    }
    return 0;
}
