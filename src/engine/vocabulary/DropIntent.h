// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveFormat.h"
#include "WorkAction.h"

#include <filesystem>
#include <vector>

namespace tarvo::engine {

// What a batch of handed-in items means: pack them into one archive, or unpack them.
class DropIntent
{
public:
    enum class Kind : std::uint8_t
    {
        compress,
        extract,
    };

    static DropIntent compress(ArchiveFormat format, int count) { return DropIntent(Kind::compress, format, count); }
    static DropIntent extract(int count) { return DropIntent(Kind::extract, ArchiveFormat::zip, count); }

    // Automatic: all items archives means extract, anything else (or nothing) means compress.
    static DropIntent resolve(const std::vector<std::filesystem::path>& items, ArchiveFormat format,
                              const WorkAction& action);

    Kind kind() const noexcept { return m_kind; }
    // Meaningful for compress only.
    ArchiveFormat format() const noexcept { return m_format; }
    int count() const noexcept { return m_count; }

    bool operator==(const DropIntent& other) const noexcept
    {
        return m_kind == other.m_kind && m_count == other.m_count &&
               (m_kind == Kind::extract || m_format == other.m_format);
    }

private:
    DropIntent(Kind kind, ArchiveFormat format, int count)
        : m_kind(kind)
        , m_format(format)
        , m_count(count)
    {}

    Kind m_kind;
    ArchiveFormat m_format;
    int m_count;
};

} // namespace tarvo::engine
