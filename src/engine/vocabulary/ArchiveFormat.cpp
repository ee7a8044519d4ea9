// SPDX-License-Identifier: GPL-3.0-or-later

#include "ArchiveFormat.h"

namespace tarvo::engine {

std::optional<ArchiveFormat> ArchiveFormat::fromRaw(std::string_view raw) noexcept
{
    for (ArchiveFormat format : allCases()) {
        if (format.rawValue() == raw) {
            return format;
        }
    }
    return std::nullopt;
}

std::string_view ArchiveFormat::rawValue() const noexcept
{
    switch (m_value) {
    case zip:
        return "zip";
    case rar:
        return "rar";
    case sevenZip:
        return "7z";
    case tarGz:
        return "tar.gz";
    }
    return "zip";
}

std::string_view ArchiveFormat::title() const noexcept
{
    switch (m_value) {
    case zip:
        return "ZIP";
    case rar:
        return "RAR";
    case sevenZip:
        return "7Z";
    case tarGz:
        return "tar.gz";
    }
    return "ZIP";
}

} // namespace tarvo::engine
