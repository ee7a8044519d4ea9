#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tarvo::engine {

// Turns the bytes of one output stream into lines. Only LF separates lines (a CR inside a line,
// as progress counters print, stays in it). Each line is decoded as UTF-8 with invalid sequences
// replaced by U+FFFD, trimmed of white space at both ends, and dropped when nothing is left.
class LineSplitter
{
public:
    using Sink = std::function<void(std::string_view line)>;

    // A line that grows past this without a line feed is passed on in pieces, so that a tool
    // redrawing a counter without ever ending its line cannot make memory grow without bound.
    static constexpr std::size_t kMaxLineBytes = 1 << 20;

    explicit LineSplitter(Sink sink)
        : m_sink(std::move(sink))
    {}

    void feed(std::string_view bytes);
    // End of the stream: what is left without a final line feed is the last line.
    void finish();

private:
    void emit(std::string_view raw);

    Sink m_sink;
    std::string m_pending;
    std::string m_repaired;
};

} // namespace tarvo::engine
