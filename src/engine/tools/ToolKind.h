#pragma once

#include <cstdint>
#include <string_view>

namespace tarvo::engine {

// The tools Tarvo runs, told by their file name: the one place that knows which names belong to
// which tool, for the readers of their output.
enum class ToolKind : std::uint8_t
{
    zip,
    unzip,
    tar, // bsdtar or GNU tar
    gzip,
    sevenZip, // 7zz, 7z or 7za
    rar,
    unrar,
    unar,
    lsar,
    entryLister, // tarvo-lister
    other,
};

ToolKind toolKindOf(std::string_view fileName) noexcept;

} // namespace tarvo::engine
