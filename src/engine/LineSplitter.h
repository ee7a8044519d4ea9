#pragma once

#include "TextUtil.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace tarvo::engine {

// Turns the bytes of one output stream into lines. Only LF separates lines (a CR inside a line,
// as progress counters print, stays in it). Each line is decoded as UTF-8 with invalid sequences
// replaced by U+FFFD, trimmed of white space at both ends, and dropped when nothing is left.
//
// A template so that the sink, called for every line of every tool, is inlined.
template <typename Sink> class LineSplitter
{
public:
    // A line that grows past this without a line feed is passed on in pieces, so that a tool
    // redrawing a counter without ever ending its line cannot make memory grow without bound.
    static constexpr std::size_t kMaxLineBytes = 1 << 20;

    explicit LineSplitter(Sink sink)
        : m_sink(std::move(sink))
    {}

    void feed(std::string_view bytes)
    {
        // One pass over the whole chunk spares checking the encoding of each of its lines.
        const bool ascii = isAscii(bytes);
        while (!bytes.empty()) {
            const void* found = std::memchr(bytes.data(), '\n', bytes.size());
            if (found == nullptr) {
                m_pending.append(bytes);
                m_pendingAscii = m_pendingAscii && ascii;
                while (m_pending.size() > kMaxLineBytes) {
                    const std::size_t cut = utf8Boundary(m_pending, kMaxLineBytes);
                    emit(std::string_view(m_pending).substr(0, cut), m_pendingAscii);
                    m_pending.erase(0, cut);
                }
                return;
            }
            const auto length = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
            if (m_pending.empty()) {
                // The common case: the whole line is in this chunk and needs no copy.
                emit(bytes.substr(0, length), ascii);
            } else {
                m_pending.append(bytes.substr(0, length));
                emit(m_pending, m_pendingAscii && ascii);
                m_pending.clear();
                m_pendingAscii = true;
            }
            bytes.remove_prefix(length + 1);
        }
    }

    // End of the stream: what is left without a final line feed is the last line.
    void finish()
    {
        if (!m_pending.empty()) {
            emit(m_pending, m_pendingAscii);
            m_pending.clear();
            m_pendingAscii = true;
        }
    }

private:
    void emit(std::string_view raw, bool ascii)
    {
        std::string_view line;
        if (ascii || isValidUtf8(raw)) {
            line = trimmed(raw);
        } else {
            m_repaired = repairedUtf8(raw);
            line = trimmed(m_repaired);
        }
        if (!line.empty()) {
            m_sink(line);
        }
    }

    // The longest prefix up to `limit` bytes that does not end inside a UTF-8 sequence.
    static std::size_t utf8Boundary(std::string_view bytes, std::size_t limit)
    {
        std::size_t cut = limit;
        while (cut > 0 && limit - cut < 3 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        return cut == 0 ? limit : cut;
    }

    Sink m_sink;
    std::string m_pending;
    bool m_pendingAscii = true;
    std::string m_repaired;
};

} // namespace tarvo::engine
