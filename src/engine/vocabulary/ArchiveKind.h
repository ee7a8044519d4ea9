// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// The kind of an existing archive, told by its file name alone. Tarvo extracts every kind; it
// creates only the four formats.
class ArchiveKind
{
public:
    enum Value : std::uint8_t
    {
        zip,
        rar,
        sevenZip,
        tarGz,
        tar,
        tarXz,
        tarBz2,
        tarZst,
        zipx,
        jar,
        // One compressed file, not an archive of several.
        gzip,
        xz,
        bzip2,
        zstd,
    };

    constexpr ArchiveKind(Value value) noexcept
        : m_value(value)
    {}
    constexpr operator Value() const noexcept { return m_value; }

    // The file is not opened: "x.7z" names a 7Z archive even when it is a folder or is missing.
    // Letter case is ignored; "x.tar.xz" is a tar.xz archive, "x.xz" one compressed file.
    static std::optional<ArchiveKind> from(const std::filesystem::path& path);
    // Every name pattern of an archive Tarvo opens, such as "*.tar.xz", for open panels.
    static std::vector<std::string_view> namePatterns();

    bool isTar() const noexcept { return m_value == tarGz || (m_value >= tar && m_value <= tarZst); }
    bool isSingleFile() const noexcept { return m_value >= gzip; }
    // For a single compressed file, whether the file begins with its compressor's magic number, so
    // that a ".gz" that is not gzip is no archive rather than a tool's complaint. True otherwise.
    bool hasMagic(const std::filesystem::path& file) const;
    // The format under which the history files it: the nearest of the four.
    ArchiveFormat format() const noexcept;
    // What the history shows for it: the format's title for the four, else its own ("tar.xz").
    std::string_view title() const noexcept;
    // The title when the format's would not be true of it, else empty: what a record keeps.
    std::string_view titleBeyondFormat() const noexcept { return title() == format().title() ? "" : title(); }

private:
    Value m_value;
};

} // namespace tarvo::engine
