// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/util/LineSplitter.h"

#include "engine/tools/OutputTail.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <vector>

using namespace tarvo::engine;
using Lines = std::vector<std::string>;

namespace {

Lines split(const Lines& chunks)
{
    Lines lines;
    LineSplitter splitter([&](std::string_view line) { lines.emplace_back(line); });
    for (const auto& chunk : chunks) {
        splitter.feed(chunk);
    }
    splitter.finish();
    return lines;
}

} // namespace

TEST(LineSplitter, LineEndsBlankLinesInvalidUtf8AndEndlessLinesInBoundedPieces)
{
    const std::pair<Lines, Lines> cases[] = {
        {{"adding: a.t", "xt\nadd", "ing: b.txt\n"}, {"adding: a.txt", "adding: b.txt"}},
        {{"one\r\ntwo\r\n"}, {"one", "two"}},
        // A counter redrawn with CR stays one line and keeps its inner CR.
        {{"10%\r20%\n"}, {"10%\r20%"}},
        // 7-Zip erases its counter with backspaces: each report is a line of its own.
        {{"  5% 1 + a\b\b\b   \b\b\b 40% 2 + b\b\b", "\bdone\n"}, {"5% 1 + a", "40% 2 + b", "done"}},
        {{"a\n", "", "\n\n   \n\t\r\n  b"}, {"a", "b"}},
        // Unicode white space at the ends goes too.
        {{"\u3000名前\u00a0\u2028\n"}, {"名前"}},
        // Invalid UTF-8: a lone continuation byte, truncated, overlong, a surrogate, truncated at the end.
        {{"a\x80z\n"}, {"a\uFFFDz"}},
        {{"caf\xC3\n"}, {"caf\uFFFD"}},
        {{"\xC0\xAF!\n"}, {"\uFFFD\uFFFD!"}},
        {{"\xED\xA0\x80.\n"}, {"\uFFFD\uFFFD\uFFFD."}},
        {{"\xE6\x97\n"}, {"\uFFFD"}},
        // A valid character split over two reads.
        {{"\xE6\x97", "\xA5\n"}, {"日"}},
    };
    for (const auto& [chunks, expected] : cases) {
        EXPECT_EQ(split(chunks), expected) << chunks.front();
    }

    // Lines are scanned sixteen bytes at a time: put a bad byte at every offset and alignment.
    for (std::size_t shift = 0; shift < 17; ++shift) {
        for (std::size_t at = 0; at < 40; ++at) {
            std::string bad(40, 'x');
            bad[at] = '\xFF';
            const Lines lines =
                split({std::string(shift, 'p') + "\n" + bad + "\nclean line of forty characters......\n"});
            ASSERT_EQ(lines.back(), "clean line of forty characters......");
            ASSERT_EQ(lines[lines.size() - 2], bad.substr(0, at) + "\uFFFD" + bad.substr(at + 1)) << shift << " " << at;
        }
    }

    std::vector<std::size_t> sizes;
    LineSplitter splitter([&](std::string_view line) { sizes.push_back(line.size()); });
    for (int i = 0; i < 40; ++i) {
        splitter.feed(std::string(64 * 1024, 'x'));
    }
    splitter.finish();
    EXPECT_GE(sizes.size(), 3u);
    EXPECT_LE(*std::max_element(sizes.begin(), sizes.end()), decltype(splitter)::kMaxLineBytes);
    EXPECT_EQ(std::accumulate(sizes.begin(), sizes.end(), std::size_t{0}), 40u * 64 * 1024);
}

TEST(OutputTail, LinesNotedFromAReadBufferSurviveItsReuse)
{
    OutputTail tail(3);
    std::string buffer = "one\ntwo\nthree\nfour";
    tail.setStableRange(buffer.data(), buffer.data() + buffer.size());
    for (std::size_t start = 0; start < buffer.size();) {
        const std::size_t end = std::min(buffer.find('\n', start), buffer.size());
        tail.append(std::string_view(buffer).substr(start, end - start));
        start = end + 1;
    }
    const std::string outside = "five";
    tail.append(outside);
    tail.settle();
    buffer.assign(buffer.size(), '#');
    EXPECT_EQ(tail.joined(), "three\nfour\nfive");
}
