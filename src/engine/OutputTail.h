#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// The most recent lines of a tool's output, kept for its error message. Storage is reused, so a
// tool printing a line per file over a million files costs no more memory than one printing 40.
class OutputTail
{
public:
    static constexpr std::size_t kDefaultLimit = 40;

    explicit OutputTail(std::size_t limit = kDefaultLimit)
        : m_lines(limit)
    {}

    void append(std::string_view line);
    std::size_t size() const noexcept { return m_count < m_lines.size() ? m_count : m_lines.size(); }
    // The kept lines, oldest first, joined with "\n".
    std::string joined() const;

private:
    std::vector<std::string> m_lines;
    std::size_t m_count = 0;
};

} // namespace tarvo::engine
