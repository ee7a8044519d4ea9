#include "LineSplitter.h"

#include "TextUtil.h"

#include <cstring>

namespace tarvo::engine {

namespace {

// The longest prefix of `bytes` that does not end inside a UTF-8 sequence.
std::size_t utf8Boundary(std::string_view bytes, std::size_t limit)
{
    std::size_t cut = limit;
    while (cut > 0 && limit - cut < 3 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return cut == 0 ? limit : cut;
}

} // namespace

void LineSplitter::feed(std::string_view bytes)
{
    while (!bytes.empty()) {
        const void* found = std::memchr(bytes.data(), '\n', bytes.size());
        if (found == nullptr) {
            m_pending.append(bytes);
            while (m_pending.size() > kMaxLineBytes) {
                const std::size_t cut = utf8Boundary(m_pending, kMaxLineBytes);
                emit(std::string_view(m_pending).substr(0, cut));
                m_pending.erase(0, cut);
            }
            return;
        }
        const auto length = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
        if (m_pending.empty()) {
            // The common case: the whole line is in this chunk and needs no copy.
            emit(bytes.substr(0, length));
        } else {
            m_pending.append(bytes.substr(0, length));
            emit(m_pending);
            m_pending.clear();
        }
        bytes.remove_prefix(length + 1);
    }
}

void LineSplitter::finish()
{
    if (!m_pending.empty()) {
        emit(m_pending);
        m_pending.clear();
    }
}

void LineSplitter::emit(std::string_view raw)
{
    std::string_view line;
    if (isValidUtf8(raw)) {
        line = trimmed(raw);
    } else {
        m_repaired = repairedUtf8(raw);
        line = trimmed(m_repaired);
    }
    if (!line.empty()) {
        m_sink(line);
    }
}

} // namespace tarvo::engine
