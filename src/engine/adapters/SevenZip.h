// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ToolCommands.h"
#include "engine/tools/ToolRun.h"
#include "engine/vocabulary/ArchiveListing.h"
#include "engine/vocabulary/ZipEncryption.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// 7-Zip (7zz, or 7z): creates and reads 7Z, and reads what unzip cannot (AES, newer methods) and
// single compressed files. It takes a password on standard input; without one a bare "-p" keeps it
// from asking, so that it says it needs one. "-spd" has it take names literally and "--" ends its
// switches.
class SevenZip
{
public:
    // A 7Z, with its names encrypted under a password; with `zip`, a ZIP encrypted that way.
    static ToolRun create(const std::filesystem::path& tool, const CreateCommand& command,
                          std::optional<ZipEncryption> zip = std::nullopt);
    // Adds to an existing archive, replacing entries of the same names. A 7Z's names are encrypted
    // again when `encryptNames`; a ZIP's new entries are encrypted as `zip` says.
    static ToolRun add(const std::filesystem::path& tool, const CreateCommand& command,
                       std::optional<ZipEncryption> zip, bool encryptNames);
    static ToolRun remove(const std::filesystem::path& tool, const EditCommand& command);
    // A folder's entries move with it.
    static ToolRun rename(const std::filesystem::path& tool, const EditCommand& command);
    // Whether 7-Zip takes this password for a ZIP: ASCII letters, digits and signs only (it refuses
    // any other character there), and for AES at most 99 of them.
    static bool takesZipPassword(std::string_view password, ZipEncryption encryption) noexcept;
    // A folder entry comes with everything below it.
    static ToolRun extract(const std::filesystem::path& tool, const ExtractCommand& command);
    static ToolRun test(const std::filesystem::path& tool, const std::filesystem::path& archive,
                        const std::optional<std::string>& password, const std::vector<std::string>& entries = {});
    // The entries as "Key = value" lines ("l -slt"), read by ListReader.
    static ToolRun list(const std::filesystem::path& tool, const std::filesystem::path& archive,
                        const std::optional<std::string>& password);
    // One entry's data on standard output: a link's target.
    static ToolRun readEntry(const std::filesystem::path& tool, const std::filesystem::path& archive,
                             const std::string& entry, const std::optional<std::string>& password);
    // One compressed file of `type` ("gzip", "xz", "bzip2", "zstd") on standard output.
    static ToolRun decompress(const std::filesystem::path& tool, const std::filesystem::path& archive,
                              std::string_view type);

    // "ERROR: CRC Failed : NAME", "ERROR: Data Error : NAME", ...: the entry a test found damaged.
    static std::optional<std::string> damagedEntry(std::string_view line);

    // Reads the lines of list(). 7-Zip writes a line break in a name as "_", so that no name can pass
    // for a field of its own.
    class ListReader
    {
    public:
        void line(std::string_view line);
        // The listing, and the places in it of the entries that are symbolic links.
        ArchiveListing finish(std::vector<std::size_t>& links);

    private:
        void finishEntry();

        ArchiveListing m_listing;
        bool m_inEntries = false;
        std::optional<ArchiveEntry> m_current;
        bool m_isLink = false;
        std::vector<std::size_t> m_links;
    };

    static const OutputReading reading;
};

} // namespace tarvo::engine
