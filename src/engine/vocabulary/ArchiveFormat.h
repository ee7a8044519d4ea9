// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace tarvo::engine {

// A format that new archives can be made in. Its raw value is also the new archive's extension.
class ArchiveFormat
{
public:
    enum Value : std::uint8_t
    {
        zip,
        rar,
        sevenZip,
        tarGz,
    };

    constexpr ArchiveFormat(Value value) noexcept
        : m_value(value)
    {}
    constexpr operator Value() const noexcept { return m_value; }

    static constexpr std::array<ArchiveFormat, 4> allCases() noexcept { return {zip, rar, sevenZip, tarGz}; }
    // Exactly "zip", "rar", "7z" or "tar.gz"; anything else names no format.
    static std::optional<ArchiveFormat> fromRaw(std::string_view raw) noexcept;

    std::string_view rawValue() const noexcept;
    std::string_view id() const noexcept { return rawValue(); }
    // The same in every interface language.
    std::string_view title() const noexcept;

private:
    Value m_value;
};

} // namespace tarvo::engine

template <> struct std::hash<tarvo::engine::ArchiveFormat>
{
    std::size_t operator()(tarvo::engine::ArchiveFormat format) const noexcept
    {
        return std::hash<int>()(static_cast<int>(format));
    }
};
