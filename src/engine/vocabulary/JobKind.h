// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvo::engine {

// Whether a job packed or unpacked.
class JobKind
{
public:
    enum Value : std::uint8_t
    {
        compress,
        extract,
    };

    constexpr JobKind(Value value) noexcept
        : m_value(value)
    {}
    constexpr operator Value() const noexcept { return m_value; }

    static std::optional<JobKind> fromRaw(std::string_view raw) noexcept
    {
        if (raw == "compress") {
            return compress;
        }
        if (raw == "extract") {
            return extract;
        }
        return std::nullopt;
    }
    std::string_view rawValue() const noexcept { return m_value == compress ? "compress" : "extract"; }

private:
    Value m_value;
};

} // namespace tarvo::engine
