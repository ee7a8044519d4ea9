// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ToolCommands.h"
#include "engine/tools/ToolLocator.h"
#include "engine/tools/ToolRun.h"
#include "engine/vocabulary/ArchiveEntry.h"
#include "engine/vocabulary/ArchiveKind.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tarvo::engine {

// The tar family: libarchive's bsdtar (or GNU tar where there is none), with pigz compressing on
// every core when it is installed, and the single-stream compressors gzip, xz, bzip2 and zstd.
// bsdtar stops reading options at "--", reads "@NAME" as another archive and names as patterns;
// it takes a ZIP's or RAR's password on standard input.
class Tar
{
public:
    // tar.gz, gzip-compressed at the command's level.
    static ToolRun create(const TarTool& tar, const CreateCommand& command);
    // A new tar of `kind` at `command.archive`: the entries of `source` that `removed` does not
    // name (each with everything below it), then `command.names` from the folder it runs in, where
    // every name starts with `prefix` + "/", which the archive's names lose. bsdtar only.
    static ToolRun rewrite(const TarTool& tar, ArchiveKind kind, const std::filesystem::path& source,
                           const EditCommand& command, const std::vector<std::string>& removed,
                           std::string_view prefix);
    // A tar of `kind`; unpacked files belong to whoever unpacks them, with plain permissions.
    static ToolRun extract(const TarTool& tar, ArchiveKind kind, const ExtractCommand& command);
    // A ZIP or RAR by bsdtar, which writes names in a legacy encoding as their stored bytes.
    static ToolRun extractOther(const std::filesystem::path& bsdtar, const ExtractCommand& command);
    // Reads every header of a tar through, listing the names.
    static ToolRun test(const TarTool& tar, const std::filesystem::path& archive);
    // The entries as "bsdtar -tv" prints them, read by parseListLine.
    static ToolRun list(const std::filesystem::path& bsdtar, const std::filesystem::path& archive);

    // The compressor of a compressed tar or of one compressed file: "gzip", "xz", "bzip2" or
    // "zstd", which is also 7-Zip's name of the type; empty for others.
    static std::string_view compressorOf(ArchiveKind kind);
    // The compressor checks every byte against its checksums.
    static ToolRun testStream(const std::filesystem::path& compressor, const std::filesystem::path& archive);
    // One compressed file, to standard output.
    static ToolRun decompress(const std::filesystem::path& compressor, const std::filesystem::path& archive);

    // One line of list(); an entry with an empty path when the line is none. `isListed` tells the
    // entries listed before it, among which a hard link's target is.
    static ArchiveEntry parseListLine(std::string_view line,
                                      const std::function<bool(const std::string&)>& isListed = {});
    // bsdtar's pattern that matches exactly this entry name.
    static std::string literal(std::string_view name);

    static const OutputReading bsdtarReading;
};

} // namespace tarvo::engine
