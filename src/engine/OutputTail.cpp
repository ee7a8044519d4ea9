#include "OutputTail.h"

namespace tarvo::engine {

void OutputTail::append(std::string_view line)
{
    if (m_lines.empty()) {
        return;
    }
    m_lines[m_count % m_lines.size()].assign(line);
    ++m_count;
}

std::string OutputTail::joined() const
{
    std::string result;
    const std::size_t kept = size();
    const std::size_t first = m_count - kept;
    for (std::size_t i = 0; i < kept; ++i) {
        if (i > 0) {
            result += '\n';
        }
        result += m_lines[(first + i) % m_lines.size()];
    }
    return result;
}

} // namespace tarvo::engine
