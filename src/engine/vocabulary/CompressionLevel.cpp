// SPDX-License-Identifier: GPL-3.0-or-later

#include "CompressionLevel.h"

#include "engine/l10n/L10n.h"

namespace tarvo::engine {

std::optional<CompressionLevel> CompressionLevel::fromRaw(std::string_view raw) noexcept
{
    for (CompressionLevel level : allCases()) {
        if (level.rawValue() == raw) {
            return level;
        }
    }
    return std::nullopt;
}

std::string_view CompressionLevel::rawValue() const noexcept
{
    switch (m_value) {
    case fast:
        return "fast";
    case normal:
        return "normal";
    case maximum:
        return "maximum";
    }
    return "normal";
}

std::string CompressionLevel::title() const
{
    switch (m_value) {
    case fast:
        return L10n::text(Text::fast);
    case normal:
        return L10n::text(Text::normal);
    case maximum:
        return L10n::text(Text::maximum);
    }
    return L10n::text(Text::normal);
}

std::string_view CompressionLevel::zipSwitch() const noexcept
{
    return m_value == fast ? "-1" : m_value == maximum ? "-9" : "-6";
}

int CompressionLevel::gzipLevel() const noexcept
{
    return m_value == fast ? 1 : m_value == maximum ? 9 : 6;
}

std::string_view CompressionLevel::rarSwitch() const noexcept
{
    return m_value == fast ? "-m1" : m_value == maximum ? "-m5" : "-m3";
}

std::string_view CompressionLevel::sevenZipSwitch() const noexcept
{
    return m_value == fast ? "-mx1" : m_value == maximum ? "-mx9" : "-mx5";
}

} // namespace tarvo::engine
