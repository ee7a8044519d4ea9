// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/tools/ArchiveSession.h"
#include "engine/tools/ProgressStep.h"
#include "engine/tools/RarSupport.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveFormat.h"
#include "engine/vocabulary/CompressionLevel.h"
#include "engine/vocabulary/ZipEncryption.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::engine {

// Cancellation and progress of one job, handed to every tool it runs.
struct RunControl
{
    std::shared_ptr<ArchiveSession> session;
    // Each advance the tools report, called from the runner's thread.
    std::function<void(const ProgressStep&)> onProgress;
    // How many pipes, sockets and devices an extraction left out of its result, when any.
    std::function<void(int)> onLeftOut = {};
    // Set by the engine itself: called while a tool runs (ToolRun::watch); what it throws stops the
    // tool.
    std::function<std::chrono::milliseconds()> watch = {};
    // Set by the engine itself: the largest file a tool may write (ToolRun::fileSizeCeiling).
    std::optional<std::uint64_t> fileSizeCeiling = {};
};

struct CompressRequest
{
    std::vector<std::filesystem::path> items;
    ArchiveFormat format = ArchiveFormat::zip;
    std::string name = {};     // typed by the user; may be empty
    std::string password = {}; // may be empty
    CompressionLevel level = CompressionLevel::normal;
    // How a ZIP with a password is encrypted.
    ZipEncryption zipEncryption = ZipEncryption::aes256;
    bool skipJunk = true;
    std::filesystem::path directory; // where the archive goes
    // Above zero: the archive is cut into parts of at most this many bytes (ZIP, 7Z and RAR).
    std::uint64_t volumeSize = 0;
    RarSupport tools;
    RunControl control = {};
};

// One file or folder to take out of an archive, with everything below it.
struct EntryRequest
{
    std::filesystem::path archive = {};
    // The entry's path as the listing shows it.
    std::string entry = {};
    RarSupport tools = {};
    std::optional<std::string> password = {};
    RunControl control = {};
    // Whether it is a folder, when the caller knows it from a listing; otherwise the engine lists.
    std::optional<bool> isDirectory = {};
    // What a ZIP's names that are not UTF-8 are read in; empty: detected, as the listing detects it.
    std::string encoding = {};
    // For extractEntries: the entries' paths as the listing shows them.
    std::vector<std::string> entries = {};
    // Where its new folder is made; none: beside the archive. What is unpacked into a folder of the
    // caller's goes to another program (a drag out), and keeps no symbolic link.
    std::optional<std::filesystem::path> directory = {};
};

// What an added item does where the archive already holds an entry of its path.
enum class ClashChoice : std::uint8_t
{
    refuse,   // fails with entryExists
    replace,  // the new one takes the old one's place
    keepBoth, // the new one takes the first free name, "name 2.ext"
};

// A change to an archive, made without unpacking it.
struct EditRequest
{
    std::filesystem::path archive = {};
    RarSupport tools = {};
    // The archive's password; an encrypted archive needs it, and what is added is encrypted with it.
    std::optional<std::string> password = {};
    RunControl control = {};
    // add: files and folders from disk, into the archive's folder `into` (its path as listed; empty:
    // the top).
    std::vector<std::filesystem::path> items = {};
    std::string into = {};
    bool skipJunk = true;
    ClashChoice onClash = ClashChoice::refuse;
    // remove: the entries' paths as listed, a folder with everything below it; rename: the one entry.
    std::vector<std::string> entries = {};
    // rename: the entry's new name, one path component.
    std::string newName = {};
};

// What a test of an archive found.
struct TestReport
{
    bool sound = true;
    // The entries whose data is damaged, as the tools name them; empty for a damaged archive whose
    // tool cannot tell which.
    std::vector<std::string> damaged;
};

// The report in one sentence of the interface language: "No errors found." or what is damaged.
std::string testVerdict(const TestReport& report);
// What a verify after creating says of a damaged new archive, with its verdict.
std::string verifyFailure(const TestReport& report);

// Creates and unpacks archives with the external tools. Blocking; safe to call from any thread.
//
// Paths are absolute and clean ("Photos", never "Photos/" or "a/../Photos"): the front ends clean
// them once, where the work arrives, and everything here takes them as they are.
//
// Every operation that creates something removes it again before it passes an error on. Archives
// and extraction folders are built under a hidden working name beside their destination and get
// their final name only when complete, so that no half-written result ever carries it.
class ArchiveEngine
{
public:
    // Creation: the new archive's path.
    static std::filesystem::path compress(const CompressRequest& request);

    // Links or copies items from several folders into a fresh private ".tarvo-XXXXXX" folder in
    // `directory`, renaming clashes.
    static std::filesystem::path stage(const std::vector<std::filesystem::path>& sources,
                                       const std::filesystem::path& directory,
                                       const std::shared_ptr<ArchiveSession>& session = {});
    // Trimmed; blank means no password.
    static std::optional<std::string> normalized(std::optional<std::string_view> password);

    // Extraction into a new folder beside the archive, named after it: the folder's path. A folder
    // that holds nothing but one folder is lifted one level.
    // `encoding`: what a ZIP's names that are not UTF-8 are read in; empty: detected, as the listing
    // detects it. Names that are not UTF-8 come out as Tarvo's own lister shows them.
    static std::filesystem::path extract(const std::filesystem::path& archive, const RarSupport& support,
                                         const std::optional<std::string>& password, const RunControl& control,
                                         std::string_view encoding = {});
    // One file or folder (with everything in it) into such a folder, or into a new folder in the
    // request's own: the path of the extracted entry.
    static std::filesystem::path extractEntry(const EntryRequest& request);
    // Several files or folders, each with its path (a folder with everything in it), into one such
    // folder, named as a whole extraction's would be: that folder.
    static std::filesystem::path extractEntries(const EntryRequest& request);

    // Reads every member's data through without writing anything. Throws as extraction does for a
    // wrong password, a cancel, a missing tool or a file that is no archive.
    static TestReport test(const std::filesystem::path& archive, const RarSupport& support,
                           const std::optional<std::string>& password, const RunControl& control,
                           std::string_view encoding = {});

    static void flattenSingleRoot(const std::filesystem::path& folder);

    // Changes in place. Each writes the changed archive as a hidden file beside it, reads it back,
    // and only then gives it the archive's name and mode in one rename: a failure, a cancel or a
    // kill leaves the archive as it was. Refused for kinds and sets no tool changes (cannotEdit,
    // partsCannotChange, rarUnavailable, sevenZipUnavailable) before anything is written.
    static void add(const EditRequest& request);
    static void remove(const EditRequest& request);
    static void rename(const EditRequest& request);
    // The paths the request's items would take that the archive already holds, as listed.
    static std::vector<std::string> addClashes(const EditRequest& request);
    // Why this archive cannot be changed with these tools; none: it can.
    static std::optional<ArchiveError> editBlocker(const std::filesystem::path& archive, const RarSupport& tools);
};

} // namespace tarvo::engine
