// SPDX-License-Identifier: GPL-3.0-or-later

// Creating archives: the shared steps and the four formats' command lines.
#include "ArchiveEngine.h"
#include "JobTools.h"
#include "engine/adapters/InfoZip.h"
#include "engine/adapters/Rarlab.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/tools/FileWalk.h"
#include "engine/util/FileSystem.h"
#include "engine/util/PathText.h"
#include "engine/util/TextUtil.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveNames.h"
#include "engine/vocabulary/Housekeeping.h"
#include "engine/vocabulary/NameFactory.h"

#include <algorithm>
#include <set>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

struct StagedItems
{
    fs::path folder;
    std::vector<std::string> names; // in the order of the items
};

// Puts each item into a fresh staging folder in `directory` under its own name, or "stem 2.ext",
// "stem 3.ext" when an earlier item took it. The folder is private from its birth: what a private
// parent folder protected stays protected while the tool packs it. Beside the archive, it is
// usually on the items' file system, where hard links spare a second copy of the data.
StagedItems stageItems(const std::vector<fs::path>& sources, const fs::path& directory,
                       const std::shared_ptr<ArchiveSession>& session)
{
    // A cancel during a long copy is noticed between files.
    const auto checkpoint = [&session] {
        if (session && session->isCancelled()) {
            throw ArchiveError(ArchiveError::Case::cancelled);
        }
    };
    StagedItems staged{makePrivateFolder(directory, ".tarvo-"), {}};
    try {
        std::set<std::string> used;
        for (const auto& source : sources) {
            const std::string component = lastComponent(source);
            std::string name = component;
            const std::string extension = pathExtension(component);
            const std::string stem = deletingPathExtension(component);
            for (int n = 2; used.contains(name); ++n) {
                name = stem + " " + std::to_string(n) + (extension.empty() ? "" : "." + extension);
            }
            used.insert(name);
            linkOrCopyTree(source, staged.folder / name, checkpoint);
            staged.names.push_back(name);
        }
    } catch (...) {
        removeTree(staged.folder);
        throw;
    }
    return staged;
}

// The folder a tool runs in and the names it packs from there. Items from one folder are packed
// in place; items from several are staged into one temporary folder beside the archive being
// written, `working`, and removed afterwards. The sources are clean paths.
template <typename Body>
void inWorkingFolder(const std::vector<fs::path>& sources, const fs::path& working, bool forceStaging,
                     const std::shared_ptr<ArchiveSession>& session, Body&& body)
{
    const bool oneFolder = std::all_of(sources.begin(), sources.end(), [&](const fs::path& source) {
        return source.parent_path() == sources.front().parent_path();
    });
    if (oneFolder && !forceStaging) {
        std::vector<std::string> names;
        for (const auto& source : sources) {
            names.push_back(source.filename().string());
        }
        body(sources.front().parent_path(), std::move(names));
        return;
    }
    StagedItems staged = stageItems(sources, working.parent_path(), session);
    try {
        body(staged.folder, std::move(staged.names));
    } catch (...) {
        removeTree(staged.folder);
        throw;
    }
    removeTree(staged.folder);
}

// Fails with destinationInsideSource when an archive made in `directory` would land inside a folder
// it packs. All are clean paths.
void validate(const fs::path& directory, const std::vector<fs::path>& sources)
{
    const std::string target = directory.native();
    for (const auto& source : sources) {
        std::error_code error;
        if (!fs::is_directory(source, error)) {
            continue;
        }
        const std::string folder = source.native();
        if (target == folder || target.starts_with(folder == "/" ? folder : folder + "/")) {
            throw ArchiveError(ArchiveError::Case::destinationInsideSource);
        }
    }
}

// Which tool writes a ZIP with this password, decided before any work: zip asks on its terminal,
// which takes 80 bytes; AES, and anything longer, only 7-Zip writes. None: zip.
std::optional<ZipEncryption> zipBySevenZip(const CompressRequest& request, const std::optional<std::string>& password)
{
    if (request.format != ArchiveFormat::zip || !password) {
        return std::nullopt;
    }
    const ZipEncryption encryption = request.zipEncryption;
    if (encryption == ZipEncryption::aes256) {
        if (!request.tools.sevenZip) {
            throw ArchiveError(ArchiveError::Case::aesNeedsSevenZip);
        }
        if (!SevenZip::takesZipPassword(*password, encryption)) {
            throw ArchiveError(ArchiveError::Case::aesPasswordTooLong);
        }
        return encryption;
    }
    if (InfoZip::takesPassword(*password)) {
        return std::nullopt;
    }
    if (!request.tools.sevenZip || !SevenZip::takesZipPassword(*password, encryption)) {
        throw ArchiveError(ArchiveError::Case::zipPasswordTooLong);
    }
    return encryption;
}

// The request's tool writes `command.archive`, the hidden working file.
void runCreation(const CompressRequest& request, const std::vector<fs::path>& sources, CreateCommand command,
                 std::optional<ZipEncryption> bySevenZip)
{
    const auto pack = [&](bool forceStaging, const auto& makeRun) {
        inWorkingFolder(sources, command.archive, forceStaging, request.control.session,
                        [&](const fs::path& folder, std::vector<std::string> names) {
                            command.names = std::move(names);
                            ToolRun run = makeRun(command);
                            run.currentDirectory = folder;
                            runTool(std::move(run), request.control);
                        });
    };
    if (bySevenZip) {
        pack(false,
             [&](const CreateCommand& made) { return SevenZip::create(*request.tools.sevenZip, made, bySevenZip); });
        return;
    }
    switch (request.format) {
    case ArchiveFormat::zip: {
        // zip writes the archive as "ziXXXXXX" first, beside it unless told otherwise. Killed before
        // its signal handler runs, it leaves that file behind: here in a folder of Tarvo's own, which
        // goes whatever happens. It is on the same file system, so zip renames rather than copies.
        const fs::path scratch = makePrivateFolder(command.archive.parent_path(), ".tarvo-");
        try {
            pack(false, [&](const CreateCommand& made) { return InfoZip::create(made, scratch); });
        } catch (const ArchiveError& error) {
            removeTree(scratch);
            if (InfoZip::foundNothingToDo(error)) {
                throw ArchiveError(ArchiveError::Case::noInputs);
            }
            throw;
        } catch (...) {
            removeTree(scratch);
            throw;
        }
        removeTree(scratch);
        return;
    }
    case ArchiveFormat::tarGz: {
        TarTool tar = requireSystemTar();
        // pigz against bsdtar's own gzip on two cores: even below 128 KB (a few milliseconds each,
        // mostly starting up), 0.69x the time from 1 MB on, 0.52x from 64 MB. With the other core
        // busy the two are even up to 16 MB (20,000 small files, 22 MB: 1.19x against 1.18x).
        constexpr std::uintmax_t kParallelGzipFrom = 1ULL << 20;
        if (tar.parallelGzip && !FileWalk::holdsAtLeast(sources, kParallelGzipFrom)) {
            tar.parallelGzip.reset();
        }
        command.password.reset();
        pack(false, [&](const CreateCommand& made) { return Tar::create(tar, made); });
        return;
    }
    case ArchiveFormat::rar:
        // With "-r" rar adds every file of a given name from all subfolders too, and it reads "*"
        // and "?" in names as wildcards with no way to quote them. In a staging folder that holds
        // only the chosen items, neither can pick up anything else.
        pack(true, [&](const CreateCommand& made) { return Rarlab::create(*request.tools.creator, made); });
        return;
    case ArchiveFormat::sevenZip:
        pack(false, [&](const CreateCommand& made) { return SevenZip::create(*request.tools.sevenZip, made); });
        return;
    }
}

// The parts a tool cut `working` into, in order: 7-Zip's "working.001" on, rar's
// "stem.part1.rar" on. Each part's final name for `base`: "base.zip.001", "base.part1.rar".
std::vector<std::pair<fs::path, std::string>> partsOf(const fs::path& working, const std::string& base,
                                                      std::string_view extension)
{
    std::vector<std::pair<fs::path, std::string>> parts;
    const std::string stem = working.stem().string();
    for (int number = 1;; ++number) {
        std::string suffix;
        if (extension == "rar") {
            // rar numbers with as many digits as the last part needs: "part01" when there are ten.
            const std::string digits = std::to_string(number);
            for (std::size_t width = digits.size(); width <= 4 && suffix.empty(); ++width) {
                const std::string padded = ".part" + std::string(width - digits.size(), '0') + digits + ".rar";
                if (fs::exists(fs::symlink_status(working.parent_path() / (stem + padded)))) {
                    suffix = padded;
                }
            }
            if (suffix.empty()) {
                break;
            }
            parts.emplace_back(working.parent_path() / (stem + suffix), base + suffix);
            continue;
        }
        const std::string digits = std::to_string(number);
        suffix = "." + std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits;
        const fs::path part = working.string() + suffix;
        if (!fs::exists(fs::symlink_status(part))) {
            break;
        }
        parts.emplace_back(part, base + "." + std::string(extension) + suffix);
    }
    return parts;
}

// Gives every part its name under the first base ("base", "base 2", ...) free for all of them:
// the first part's path. A name someone takes meanwhile sends the parts already moved back.
fs::path publishParts(const fs::path& working, const fs::path& directory, const std::string& base,
                      std::string_view extension)
{
    if (partsOf(working, base, extension).empty()) {
        throw ArchiveError(ArchiveError::Case::noInputs);
    }
    const std::string named =
        trimmed(base).empty() ? NameFactory::uniqueFile(directory, base, "").filename().string() : std::string(base);
    for (int n = 1; n <= 100; ++n) {
        const std::string candidate = n == 1 ? named : named + " " + std::to_string(n);
        const auto parts = partsOf(working, candidate, extension);
        const bool free = std::none_of(parts.begin(), parts.end(), [&](const auto& part) {
            return fs::exists(fs::symlink_status(directory / part.second));
        });
        if (!free) {
            continue;
        }
        std::size_t moved = 0;
        for (const auto& [from, to] : parts) {
            flushToDisk(from);
            if (!renameNoReplace(from, directory / to)) {
                break;
            }
            ++moved;
        }
        if (moved == parts.size()) {
            flushFolder(directory);
            return directory / parts.front().second;
        }
        for (std::size_t i = 0; i < moved; ++i) {
            fs::rename(directory / parts[i].second, parts[i].first);
        }
    }
    throw fs::filesystem_error("cannot name the result", directory / named,
                               std::make_error_code(std::errc::file_exists));
}

void removeParts(const fs::path& working, std::string_view extension)
{
    for (const auto& part : partsOf(working, {}, extension)) {
        removeTree(part.first);
    }
}

} // namespace

std::optional<std::string> ArchiveEngine::normalized(std::optional<std::string_view> password)
{
    if (!password) {
        return std::nullopt;
    }
    const std::string_view text = trimmed(*password);
    if (text.empty()) {
        return std::nullopt;
    }
    return std::string(text);
}

fs::path ArchiveEngine::stage(const std::vector<fs::path>& sources, const fs::path& directory,
                              const std::shared_ptr<ArchiveSession>& session)
{
    return stageItems(sources, directory, session).folder;
}

fs::path ArchiveEngine::compress(const CompressRequest& request)
{
    std::vector<fs::path> sources;
    for (const auto& item : request.items) {
        std::error_code error;
        if (fs::exists(item, error)) {
            sources.push_back(item);
        }
    }
    // Nothing but housekeeping files left out on request is nothing to archive, not a tool error.
    const bool onlyJunk = request.skipJunk && std::all_of(sources.begin(), sources.end(), [](const fs::path& source) {
                              return isHousekeeping(source.filename().string());
                          });
    if (sources.empty() || onlyJunk) {
        throw ArchiveError(ArchiveError::Case::noInputs);
    }

    const std::string base = ArchiveNames::archiveBase(request.name, sources);
    const fs::path& directory = request.directory;
    const std::string extension(request.format.rawValue());
    validate(directory, sources);

    if (request.format == ArchiveFormat::rar && !request.tools.creator) {
        throw ArchiveError(ArchiveError::Case::rarUnavailable);
    }
    if (request.format == ArchiveFormat::sevenZip && !request.tools.sevenZip) {
        throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
    }
    const std::optional<std::string> password = normalized(request.password);
    std::optional<ZipEncryption> bySevenZip = zipBySevenZip(request, password);
    const bool inParts = request.volumeSize > 0;
    if (inParts && request.format == ArchiveFormat::tarGz) {
        throw ArchiveError(ArchiveError::Case::volumesUnsupported);
    }
    // zip cuts a set of its own kind ("x.z01"), which fewer programs open than 7-Zip's numbered parts.
    if (inParts && request.format == ArchiveFormat::zip) {
        if (!request.tools.sevenZip) {
            throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
        }
        bySevenZip = bySevenZip.value_or(request.zipEncryption);
    }
    if (const std::error_code error = folderWriteError(directory)) {
        throw fs::filesystem_error("cannot write the archive", NameFactory::uniqueFile(directory, base, extension),
                                   error);
    }

    // The tool writes under a hidden name; the archive takes its real name only when complete.
    const fs::path working = hiddenWorkPath(directory, "." + extension);
    try {
        runCreation(request, sources, {working, {}, request.level, password, request.skipJunk, request.volumeSize},
                    bySevenZip);
        if (inParts) {
            return publishParts(working, directory, base, extension);
        }
        if (!fs::exists(fs::symlink_status(working))) {
            throw ArchiveError(ArchiveError::Case::noInputs);
        }
        // Someone may have taken the name meanwhile: never replace their file, take the next name.
        return publish(working, directory, base, extension);
    } catch (...) {
        removeTree(working);
        removeParts(working, extension);
        throw;
    }
}

} // namespace tarvo::engine
