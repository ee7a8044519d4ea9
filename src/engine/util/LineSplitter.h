// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "TextUtil.h"

#include <cstddef>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace tarvo::engine {

// Turns the bytes of one output stream into lines. LF separates lines, and so does a backspace, with
// which 7-Zip erases one progress report before it prints the next (a CR inside a line stays in it).
// Each line is decoded as UTF-8 with invalid sequences replaced by U+FFFD, trimmed of white space at
// both ends, and dropped when nothing is left.
//
// A sink that takes a second argument learns whether the line was redrawn: ended by a backspace or
// following one before the next LF. Such text is a progress report and may quote entry names, so
// it is never a message.
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
        std::size_t start = 0; // of the current line in this chunk
        const std::ptrdiff_t lastHigh =
            scanLines(bytes.data(), bytes.size(), [&](std::size_t end, std::ptrdiff_t highBefore) {
                // A line without a byte of 0x80 or more is ASCII and needs no decoding.
                const bool ascii = highBefore < static_cast<std::ptrdiff_t>(start);
                const bool backspace = bytes[end] == '\b';
                const bool redrawn = backspace || m_afterBackspace;
                if (m_pending.empty()) {
                    // The common case: the whole line is in this chunk and needs no copy.
                    emit(bytes.substr(start, end - start), ascii, redrawn);
                } else {
                    m_pending.append(bytes.substr(start, end - start));
                    emit(m_pending, m_pendingAscii && ascii, redrawn);
                    m_pending.clear();
                    m_pendingAscii = true;
                }
                m_afterBackspace = backspace;
                start = end + 1;
            });
        if (start < bytes.size()) {
            m_pending.append(bytes.substr(start));
            m_pendingAscii = m_pendingAscii && lastHigh < static_cast<std::ptrdiff_t>(start);
            while (m_pending.size() > kMaxLineBytes) {
                const std::size_t cut = utf8Boundary(m_pending, kMaxLineBytes);
                emit(std::string_view(m_pending).substr(0, cut), m_pendingAscii, m_afterBackspace);
                m_pending.erase(0, cut);
            }
        }
    }

    // End of the stream: what is left without a final line feed is the last line.
    void finish()
    {
        if (!m_pending.empty()) {
            emit(m_pending, m_pendingAscii, m_afterBackspace);
            m_pending.clear();
            m_pendingAscii = true;
        }
    }

private:
    // Calls onLine(position of each line feed or backspace, position of the last byte >= 0x80 before it or -1)
    // and returns the position of the chunk's last such byte. One pass finds both, sixteen bytes at
    // a time where the processor allows: this runs over every byte a tool prints.
    template <typename OnLine> static std::ptrdiff_t scanLines(const char* data, std::size_t size, OnLine&& onLine)
    {
        std::ptrdiff_t lastHigh = -1;
        std::size_t i = 0;
#if defined(__SSE2__)
        const __m128i lineFeed = _mm_set1_epi8('\n');
        const __m128i backspace = _mm_set1_epi8('\b');
        for (; i + 16 <= size; i += 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            auto feeds = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, lineFeed), _mm_cmpeq_epi8(block, backspace))));
            const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
            while (feeds != 0) {
                const int at = __builtin_ctz(feeds);
                if (const unsigned before = high & ((1u << at) - 1); before != 0) {
                    lastHigh = static_cast<std::ptrdiff_t>(i) + 31 - __builtin_clz(before);
                }
                onLine(i + static_cast<std::size_t>(at), lastHigh);
                feeds &= feeds - 1;
            }
            if (high != 0) {
                lastHigh = static_cast<std::ptrdiff_t>(i) + 31 - __builtin_clz(high);
            }
        }
#endif
        for (; i < size; ++i) {
            const auto byte = static_cast<unsigned char>(data[i]);
            if (byte >= 0x80) {
                lastHigh = static_cast<std::ptrdiff_t>(i);
            } else if (byte == '\n' || byte == '\b') {
                onLine(i, lastHigh);
            }
        }
        return lastHigh;
    }

    void emit(std::string_view raw, bool ascii, bool redrawn)
    {
        std::string_view line;
        if (ascii || isValidUtf8(raw)) {
            line = trimmed(raw);
        } else {
            m_repaired = repairedUtf8(raw);
            line = trimmed(m_repaired);
        }
        if (line.empty()) {
            return;
        }
        if constexpr (std::is_invocable_v<Sink&, std::string_view, bool>) {
            m_sink(line, redrawn);
        } else {
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
    bool m_afterBackspace = false; // the last separator was a backspace
    std::string m_repaired;
};

} // namespace tarvo::engine
