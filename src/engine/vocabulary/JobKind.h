// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvo::engine {

// Whether a job packed, unpacked or changed an archive in place.
class JobKind
{
public:
    enum Value : std::uint8_t
    {
        compress,
        extract,
        // Added to, removed from or renamed in, without unpacking it.
        edit,
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
        if (raw == "edit") {
            return edit;
        }
        return std::nullopt;
    }
    std::string_view rawValue() const noexcept
    {
        switch (m_value) {
        case compress:
            return "compress";
        case extract:
            return "extract";
        case edit:
            return "edit";
        }
        return "compress";
    }

private:
    Value m_value;
};

} // namespace tarvo::engine
