#pragma once

#include "ArchiveFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tarvo::engine {

// The kind of an existing archive, told by its file name alone.
class ArchiveKind
{
public:
    enum Value : std::uint8_t
    {
        zip,
        rar,
        sevenZip,
        tarGz,
    };

    constexpr ArchiveKind(Value value) noexcept
        : m_value(value)
    {}
    constexpr operator Value() const noexcept { return m_value; }

    // The file is not opened: "x.7z" names a 7Z archive even when it is a folder or is missing.
    static std::optional<ArchiveKind> from(const std::filesystem::path& path);

    ArchiveFormat format() const noexcept { return static_cast<ArchiveFormat::Value>(m_value); }

private:
    Value m_value;
};

} // namespace tarvo::engine
