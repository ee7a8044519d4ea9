#include "LineSplitter.h"

#include "OutputTail.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace tarvo::engine;

namespace {

std::vector<std::string> split(const std::vector<std::string>& chunks)
{
    std::vector<std::string> lines;
    LineSplitter splitter([&](std::string_view line) { lines.emplace_back(line); });
    for (const auto& chunk : chunks) {
        splitter.feed(chunk);
    }
    splitter.finish();
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(LineSplitter, LinesAcrossReadsLineEndsAndBlankLines)
{
    EXPECT_EQ(split({"adding: a.t", "xt\nadd", "ing: b.txt\n"}), (Lines{"adding: a.txt", "adding: b.txt"}));
    EXPECT_EQ(split({"one\r\ntwo\r\n"}), (Lines{"one", "two"}));
    // A counter redrawn with CR stays one line and keeps its inner CR.
    EXPECT_EQ(split({"10%\r20%\n"}), (Lines{"10%\r20%"}));
    EXPECT_EQ(split({"no final line feed"}), (Lines{"no final line feed"}));
    EXPECT_EQ(split({"\n\n   \n\t\r\n  indented  \n"}), (Lines{"indented"}));
    EXPECT_EQ(split({"a\n", "", "\nb"}), (Lines{"a", "b"}));
    EXPECT_EQ(split({}), Lines{});
    // Unicode white space at the ends goes too (U+3000, U+00A0, U+2028).
    EXPECT_EQ(split({"\u3000名前\u00a0\u2028\n"}), (Lines{"名前"}));
}

TEST(LineSplitter, InvalidUtf8BecomesReplacementCharacters)
{
    // A lone continuation byte, a truncated sequence, an overlong form and a surrogate.
    EXPECT_EQ(split({"a\x80z\n"}), (Lines{"a\uFFFDz"}));
    EXPECT_EQ(split({"caf\xC3\n"}), (Lines{"caf\uFFFD"}));
    EXPECT_EQ(split({"\xC0\xAF!\n"}), (Lines{"\uFFFD\uFFFD!"}));
    EXPECT_EQ(split({"\xED\xA0\x80.\n"}), (Lines{"\uFFFD\uFFFD\uFFFD."}));
    EXPECT_EQ(split({"\xE6\x97\n"}), (Lines{"\uFFFD"}));
    // A valid character split over two reads is not damaged.
    EXPECT_EQ(split({"\xE6\x97", "\xA5\n"}), (Lines{"日"}));
}

TEST(LineSplitter, EveryInvalidByteIsFoundWhereverItSits)
{
    // Lines are scanned sixteen bytes at a time: put the bad byte at every offset and alignment.
    for (std::size_t shift = 0; shift < 17; ++shift) {
        for (std::size_t at = 0; at < 40; ++at) {
            std::string bad(40, 'x');
            bad[at] = '\xFF';
            const std::string chunk = std::string(shift, 'p') + "\n" + bad + "\nclean line of forty characters......\n";
            const Lines lines = split({chunk});
            const std::string expected = bad.substr(0, at) + "\uFFFD" + bad.substr(at + 1);
            ASSERT_EQ(lines.back(), "clean line of forty characters......");
            ASSERT_EQ(lines[lines.size() - 2], expected) << shift << " " << at;
        }
    }
}

TEST(LineSplitter, AnEndlessLineIsPassedOnInBoundedPieces)
{
    std::vector<std::size_t> sizes;
    LineSplitter splitter([&](std::string_view line) { sizes.push_back(line.size()); });
    const std::string chunk(64 * 1024, 'x');
    for (int i = 0; i < 40; ++i) {
        splitter.feed(chunk);
    }
    splitter.finish();
    std::size_t total = 0;
    for (std::size_t size : sizes) {
        EXPECT_LE(size, decltype(splitter)::kMaxLineBytes);
        total += size;
    }
    EXPECT_EQ(total, 40u * chunk.size());
    EXPECT_GE(sizes.size(), 3u);
}

TEST(OutputTail, KeepsTheLastFortyInOrder)
{
    OutputTail tail;
    EXPECT_EQ(tail.joined(), "");
    for (int i = 1; i <= 100; ++i) {
        tail.append("line " + std::to_string(i));
    }
    EXPECT_EQ(tail.size(), 40u);
    std::string expected;
    for (int i = 61; i <= 100; ++i) {
        expected += (i > 61 ? "\n" : "") + ("line " + std::to_string(i));
    }
    EXPECT_EQ(tail.joined(), expected);
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
