// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ToolCommands.h"
#include "engine/tools/ToolRun.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveListing.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo::engine {

// The Unarchiver's unar and lsar: they read RAR without RARLAB's tools, 7Z without 7-Zip, archives
// with encrypted headers, and number the entries so that unar takes exactly the ones named. Both
// read names as wildcard patterns and take a password only as an argument, where any user of the
// machine can read it: everything else is asked of other tools first.
class Unar
{
public:
    // lsar's error number for a wrong or missing password.
    static constexpr std::int64_t kPasswordError = 15;

    // One entry by its numbers (`command.indexes`), or everything. unar parses headers as lsar
    // does, and a broken one can make it grow without end: it runs under a memory ceiling.
    static ToolRun extract(const std::filesystem::path& unar, const ExtractCommand& command);
    // One compressed file, to standard output.
    static ToolRun decompress(const std::filesystem::path& unar, const std::filesystem::path& archive);
    // Reads every entry through ("lsar -t"), a verdict per line.
    static ToolRun test(const std::filesystem::path& lsar, const std::filesystem::path& archive,
                        const std::optional<std::string>& password);
    // The listing as JSON ("lsar -json"), read by parseListing or a ListingParse.
    static ToolRun list(const std::filesystem::path& lsar, const std::filesystem::path& archive,
                        const std::optional<std::string>& password);

    // A line of test(): "NAME... VERDICT"; none for other lines. A folder's verdict is empty.
    struct TestLine
    {
        std::string name;
        std::string verdict; // "OK.", "Checksum failed!", "Wrong password!", ...
    };
    static std::optional<TestLine> readTestLine(std::string_view line);

    // unar's words when it cannot read what it was given, as opposed to data it read and found
    // damaged ("Wrong checksum"), which a second tool that checks less must not be let to hide.
    static bool cannotRead(const ArchiveError& failure);

    // The JSON of list(). Streams through it without building a document, so that a listing of
    // 100,000 entries costs little more than its text. Fails with toolFailed when it is no listing.
    static ArchiveListing parseListing(std::string_view output);

    // parseListing() on a thread of its own while lsar is still writing: line() takes each line as
    // it comes, finish() waits for the verdict.
    class ListingParse
    {
    public:
        ListingParse();
        ~ListingParse();
        ListingParse(const ListingParse&) = delete;
        ListingParse& operator=(const ListingParse&) = delete;

        void line(std::string_view text);
        ArchiveListing finish();

    private:
        class Stream;
        std::unique_ptr<Stream> m_stream;
    };

    static const OutputReading unarReading;
    static const OutputReading lsarReading;
};

} // namespace tarvo::engine
