// SPDX-License-Identifier: GPL-3.0-or-later

#include "MoFile.h"

#include <cstdint>
#include <fstream>

namespace tarvo::engine {

namespace {

constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kSwappedMagic = 0xde120495;

// Reads the 32-bit words of one file, in the byte order its magic number shows.
class Words
{
public:
    explicit Words(std::string_view bytes)
        : m_bytes(bytes)
    {}

    bool swapped = false;

    std::optional<std::uint32_t> at(std::uint64_t offset) const
    {
        if (offset > m_bytes.size() || m_bytes.size() - offset < 4) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const auto byte =
                static_cast<std::uint8_t>(m_bytes[static_cast<std::size_t>(offset) + static_cast<std::size_t>(i)]);
            value |= static_cast<std::uint32_t>(byte) << (swapped ? 8 * (3 - i) : 8 * i);
        }
        return value;
    }

    // The string a table's row describes (its length, then its offset), which must lie inside the
    // file and end in the NUL that MO puts after it.
    std::optional<std::string_view> string(std::uint64_t table, std::uint64_t index) const
    {
        const auto length = at(table + index * 8);
        const auto offset = at(table + index * 8 + 4);
        if (!length || !offset) {
            return std::nullopt;
        }
        const std::uint64_t end = std::uint64_t(*offset) + *length;
        if (end >= m_bytes.size() || m_bytes[static_cast<std::size_t>(end)] != '\0') {
            return std::nullopt;
        }
        return m_bytes.substr(*offset, *length);
    }

private:
    std::string_view m_bytes;
};

} // namespace

std::optional<MoFile> MoFile::parse(std::string bytes)
{
    if (bytes.size() > kMaxSize) {
        return std::nullopt;
    }
    MoFile file;
    file.m_bytes = std::make_unique<const std::string>(std::move(bytes));
    Words words(*file.m_bytes);
    const auto magic = words.at(0);
    if (magic != kMagic && magic != kSwappedMagic) {
        return std::nullopt;
    }
    words.swapped = magic == kSwappedMagic;
    const auto revision = words.at(4);
    const auto count = words.at(8);
    const auto originals = words.at(12);
    const auto translations = words.at(16);
    // Major revisions 0 and 1 share these tables; a later one might not.
    if (!revision || (*revision >> 16) > 1 || !count || !originals || !translations) {
        return std::nullopt;
    }
    // Each row is 8 bytes: a count larger than the file can hold is a lie, whatever the offsets say.
    if (*count > file.m_bytes->size() / 16) {
        return std::nullopt;
    }
    file.m_translations.reserve(*count);
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto original = words.string(*originals, i);
        const auto translation = words.string(*translations, i);
        if (!original || !translation) {
            return std::nullopt;
        }
        // A plural text is "one\0many": the key is its first form.
        const std::string_view key = original->substr(0, original->find('\0'));
        if (!translation->empty()) {
            file.m_translations.emplace(key, *translation);
        }
    }
    return file;
}

std::optional<MoFile> MoFile::read(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[16384];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kMaxSize) {
            return std::nullopt;
        }
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return parse(std::move(bytes));
}

std::optional<std::string_view> MoFile::find(std::string_view context, std::string_view id) const
{
    std::string key;
    if (!context.empty()) {
        key.reserve(context.size() + 1 + id.size());
        key.append(context).push_back('\4');
    }
    key.append(id);
    const auto found = m_translations.find(key);
    if (found == m_translations.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string_view MoFile::header() const
{
    return find({}, {}).value_or(std::string_view());
}

} // namespace tarvo::engine
