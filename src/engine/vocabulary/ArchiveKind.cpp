// SPDX-License-Identifier: GPL-3.0-or-later

#include "ArchiveKind.h"

#include "ArchiveNames.h"
#include "engine/util/PathText.h"
#include "engine/util/TextUtil.h"

#include <array>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarvo::engine {

namespace {

// Longer suffixes first, so that "x.tar.gz" is a tarball and not one compressed file.
constexpr std::array<std::pair<std::string_view, ArchiveKind::Value>, 19> kSuffixes = {{
    {".tar.gz", ArchiveKind::tarGz},   {".tar.xz", ArchiveKind::tarXz}, {".tar.bz2", ArchiveKind::tarBz2},
    {".tar.zst", ArchiveKind::tarZst}, {".tgz", ArchiveKind::tarGz},    {".txz", ArchiveKind::tarXz},
    {".tbz2", ArchiveKind::tarBz2},    {".tbz", ArchiveKind::tarBz2},   {".tzst", ArchiveKind::tarZst},
    {".tar", ArchiveKind::tar},        {".zip", ArchiveKind::zip},      {".zipx", ArchiveKind::zipx},
    {".jar", ArchiveKind::jar},        {".rar", ArchiveKind::rar},      {".7z", ArchiveKind::sevenZip},
    {".gz", ArchiveKind::gzip},        {".xz", ArchiveKind::xz},        {".bz2", ArchiveKind::bzip2},
    {".zst", ArchiveKind::zstd},
}};

// A part of an archive cut into parts: "x.7z.001", "x.zip.001", "x.z01", "x.r00" (and "x.part2.rar",
// a ".rar" in any case).
std::optional<ArchiveKind> partKind(const std::string& name)
{
    const auto part = ArchiveNames::splitPart(name);
    if (!part) {
        return std::nullopt;
    }
    switch (part->family) {
    case ArchiveNames::SplitPart::Family::numbered:
        return endsWithIgnoringCase(part->base, ".7z") ? ArchiveKind::sevenZip : ArchiveKind::zip;
    case ArchiveNames::SplitPart::Family::zipSplit:
        return ArchiveKind::zip;
    default:
        return ArchiveKind::rar;
    }
}

} // namespace

std::optional<ArchiveKind> ArchiveKind::from(const std::filesystem::path& path)
{
    const std::string name = lastComponent(path);
    if (const auto part = partKind(name)) {
        return part;
    }
    for (const auto& [suffix, kind] : kSuffixes) {
        // A name that is nothing but the suffix (".zip") is a hidden file, not an archive.
        if (name.size() > suffix.size() && endsWithIgnoringCase(name, suffix)) {
            return kind;
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> ArchiveKind::namePatterns()
{
    static constexpr std::array<std::string_view, kSuffixes.size() + 4> patterns = {
        "*.tar.gz", "*.tar.xz", "*.tar.bz2", "*.tar.zst", "*.tgz",     "*.txz", "*.tbz2", "*.tbz",
        "*.tzst",   "*.tar",    "*.zip",     "*.zipx",    "*.jar",     "*.rar", "*.7z",   "*.gz",
        "*.xz",     "*.bz2",    "*.zst",     "*.7z.001",  "*.zip.001", "*.z01", "*.r00"};
    return {patterns.begin(), patterns.end()};
}

bool ArchiveKind::hasMagic(const std::filesystem::path& file) const
{
    std::string_view magic;
    switch (m_value) {
    case gzip:
        magic = "\x1f\x8b";
        break;
    case xz:
        magic = std::string_view("\xfd"
                                 "7zXZ\0",
                                 6);
        break;
    case bzip2:
        magic = "BZh";
        break;
    case zstd:
        magic = "\x28\xb5\x2f\xfd";
        break;
    default:
        return true;
    }
    // Without waiting: a pipe with the archive's name would block the open and the read for ever.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    struct stat info
    {};
    std::string head(magic.size(), '\0');
    const bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                      ::pread(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size());
    ::close(fd);
    if (!read) {
        return false;
    }
    // A zstd file may begin with a skippable frame (0x184D2A50 to 0x184D2A5F), as pzstd writes.
    if (m_value == zstd && (head[0] & 0xF0) == 0x50 && head.substr(1) == "\x2a\x4d\x18") {
        return true;
    }
    return head == magic;
}

std::string_view ArchiveKind::title() const noexcept
{
    switch (m_value) {
    case tar:
        return "tar";
    case tarXz:
        return "tar.xz";
    case tarBz2:
        return "tar.bz2";
    case tarZst:
        return "tar.zst";
    case zipx:
        return "ZIPX";
    case jar:
        return "JAR";
    case gzip:
        return "gz";
    case xz:
        return "xz";
    case bzip2:
        return "bz2";
    case zstd:
        return "zst";
    default:
        return format().title();
    }
}

ArchiveFormat ArchiveKind::format() const noexcept
{
    switch (m_value) {
    case zip:
    case zipx:
    case jar:
        return ArchiveFormat::zip;
    case rar:
        return ArchiveFormat::rar;
    case sevenZip:
        return ArchiveFormat::sevenZip;
    default:
        return ArchiveFormat::tarGz;
    }
}

} // namespace tarvo::engine
