// SPDX-License-Identifier: GPL-3.0-or-later

#include "OutputTail.h"

#include <functional>

namespace tarvo::engine {

void OutputTail::append(std::string_view line)
{
    if (m_slots.empty()) {
        return;
    }
    Slot& slot = m_slots[m_next];
    const std::less_equal<const char*> notAfter;
    if (m_stableBegin != nullptr && notAfter(m_stableBegin, line.data()) &&
        notAfter(line.data() + line.size(), m_stableEnd)) {
        slot.view = line;
        slot.borrowed = true;
    } else {
        slot.owned.assign(line);
        slot.borrowed = false;
    }
    // No modulo here: this runs for every line.
    if (++m_next == m_slots.size()) {
        m_next = 0;
    }
    ++m_count;
}

void OutputTail::settle()
{
    for (Slot& slot : m_slots) {
        if (slot.borrowed) {
            slot.owned.assign(slot.view);
            slot.borrowed = false;
        }
    }
    m_stableBegin = nullptr;
    m_stableEnd = nullptr;
}

std::string OutputTail::joined() const
{
    std::string result;
    const std::size_t kept = size();
    std::size_t index = (m_next + m_slots.size() - kept) % (m_slots.empty() ? 1 : m_slots.size());
    for (std::size_t i = 0; i < kept; ++i) {
        if (i > 0) {
            result += '\n';
        }
        const Slot& slot = m_slots[index];
        result += slot.borrowed ? slot.view : std::string_view(slot.owned);
        if (++index == m_slots.size()) {
            index = 0;
        }
    }
    return result;
}

} // namespace tarvo::engine
