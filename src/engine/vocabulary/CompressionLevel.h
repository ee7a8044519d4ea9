// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::engine {

class CompressionLevel
{
public:
    enum Value : std::uint8_t
    {
        fast,
        normal,
        maximum,
    };

    constexpr CompressionLevel(Value value) noexcept
        : m_value(value)
    {}
    constexpr operator Value() const noexcept { return m_value; }

    static constexpr std::array<CompressionLevel, 3> allCases() noexcept { return {fast, normal, maximum}; }
    static std::optional<CompressionLevel> fromRaw(std::string_view raw) noexcept;

    std::string_view rawValue() const noexcept;
    std::string_view id() const noexcept { return rawValue(); }
    // Localized in the current interface language.
    std::string title() const;

    // What the level becomes on each tool's command line.
    std::string_view zipSwitch() const noexcept;
    int gzipLevel() const noexcept;
    std::string_view rarSwitch() const noexcept;
    std::string_view sevenZipSwitch() const noexcept;

private:
    Value m_value;
};

} // namespace tarvo::engine
