// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// The most recent lines of a tool's output, kept for its error message.
//
// A tool may print a line per file over a million files, so appending must cost next to nothing:
// lines that lie in the read buffer being split are only noted, and settle() copies the few of
// them still among the last `limit` before that buffer is reused. Other lines are copied at once.
class OutputTail
{
public:
    static constexpr std::size_t kDefaultLimit = 40;

    explicit OutputTail(std::size_t limit = kDefaultLimit)
        : m_slots(limit)
    {}

    // The bytes that stay valid until the next settle().
    void setStableRange(const char* begin, const char* end) noexcept
    {
        m_stableBegin = begin;
        m_stableEnd = end;
    }
    void append(std::string_view line);
    void settle();

    std::size_t size() const noexcept { return m_count < m_slots.size() ? m_count : m_slots.size(); }
    // The kept lines, oldest first, joined with "\n".
    std::string joined() const;

private:
    struct Slot
    {
        std::string owned;
        std::string_view view; // valid until settle() when `borrowed`
        bool borrowed = false;
    };

    std::vector<Slot> m_slots;
    std::size_t m_count = 0; // lines ever appended
    std::size_t m_next = 0;  // the slot the next line goes to
    const char* m_stableBegin = nullptr;
    const char* m_stableEnd = nullptr;
};

} // namespace tarvo::engine
