// SPDX-License-Identifier: GPL-3.0-or-later

// Unpacking archives into a new folder beside them.
#include "ArchiveCatalog.h"
#include "ArchiveEngine.h"
#include "ExtractionRoutes.h"
#include "JobTools.h"
#include "SpaceGuard.h"
#include "SplitSet.h"
#include "UnpackedFolder.h"
#include "engine/adapters/Rarlab.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/adapters/Unar.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/ToolLocator.h"
#include "engine/util/FileSystem.h"
#include "engine/util/PathText.h"
#include "engine/util/TextUtil.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/ArchiveNames.h"
#include "engine/vocabulary/NameFactory.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

// The tool's words about the hidden working folder speak of the folder the user will see.
ArchiveError aboutVisibleFolder(const ArchiveError& failure, const fs::path& working, const fs::path& shown)
{
    if (failure.errorCase() != ArchiveError::Case::toolFailed) {
        return failure;
    }
    std::string message = replacingAll(failure.message(), working.string() + "/", "");
    message = replacingAll(message, working.string(), shown.string());
    return ArchiveError::toolFailed(failure.tool(), failure.status(), std::move(message));
}

// A fresh hidden folder beside the archive, which becomes the result only when complete. Until
// then it is private: nobody else may read what is unpacked, or change it before it is made safe.
fs::path makeWorkingFolder(const fs::path& parent, const fs::path& final)
{
    try {
        return makePrivateFolder(parent, ".tarvo-");
    } catch (const fs::filesystem_error& error) {
        throw fs::filesystem_error("cannot create the folder", final, error.code());
    }
}

void reportLeftOut(const RunControl& control, int leftOut)
{
    if (leftOut > 0 && control.onLeftOut) {
        control.onLeftOut(leftOut);
    }
}

// What the listing says of each chosen entry: whether it is there, whether it is a folder (marked
// so, or with entries below it), and the lister's numbers of it and everything below it. Each
// listed path is looked up with each folder above it, so that a long selection costs no more.
void readListing(Selection& selection, const ArchiveListing& listing)
{
    std::unordered_map<std::string_view, Selection::Chosen*> chosenByPath;
    for (Selection::Chosen& chosen : selection.entries) {
        chosenByPath.emplace(chosen.entry, &chosen);
    }
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        const ArchiveEntry& candidate = listing.entries[i];
        std::string_view path = candidate.path;
        for (bool below = false;; below = true) {
            if (const auto hit = chosenByPath.find(path); hit != chosenByPath.end()) {
                Selection::Chosen& chosen = *hit->second;
                if (chosen.stored.empty() && !candidate.storedPath.empty()) {
                    // Names are read component by component: the entry's stored name is as many
                    // of the candidate's stored components.
                    const auto depth = std::count(chosen.entry.begin(), chosen.entry.end(), '/');
                    std::size_t end = 0;
                    for (auto k = 0; k <= depth && end != std::string::npos; ++k) {
                        end = candidate.storedPath.find('/', k == 0 ? 0 : end + 1);
                    }
                    chosen.stored = candidate.storedPath.substr(0, end);
                }
                chosen.found = true;
                chosen.isDirectory = chosen.isDirectory || below || candidate.isDirectory;
                chosen.hasDescendants = chosen.hasDescendants || below;
                if (i < listing.indexes.size() && listing.indexes[i] >= 0) {
                    chosen.indexes.push_back(listing.indexes[i]);
                }
            }
            const std::size_t slash = path.rfind('/');
            if (slash == std::string_view::npos) {
                break;
            }
            path = path.substr(0, slash);
        }
    }
}

// The chosen entries in their safe form, each once, and none below another chosen one, which
// brings it along.
std::vector<std::string> chosenEntries(const std::vector<std::string>& typed)
{
    std::vector<std::string> entries;
    for (const std::string& name : typed) {
        const auto entry = ArchiveNames::safeEntry(name);
        if (!entry) {
            throw ArchiveError(ArchiveError::Case::entryCannotBeExtracted);
        }
        entries.push_back(*entry);
    }
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    const std::unordered_set<std::string_view> all(entries.begin(), entries.end());
    std::vector<std::string> kept;
    for (const std::string& entry : entries) {
        std::string_view above = entry;
        bool below = false;
        for (auto slash = above.rfind('/'); !below && slash != std::string_view::npos; slash = above.rfind('/')) {
            above = above.substr(0, slash);
            below = all.contains(above);
        }
        if (!below) {
            kept.push_back(entry);
        }
    }
    return kept;
}

// Runs the extraction into a fresh hidden folder beside the archive, and once more into another
// with a second tool when the first could not read the archive: the folder that holds the result.
// Nothing is left behind on a failure, and the failure does not speak of the hidden folder.
// `parent` holds the result, named after `base`.
fs::path unpack(const Unpacking& unpacking, const fs::path& parent, const std::string& base, const RunControl& control,
                std::shared_ptr<DeclaredListing> declared = {})
{
    const fs::path shown = NameFactory::uniqueDirectory(parent, base);
    fs::path working = makeWorkingFolder(parent, shown);
    const SpaceGuard space(parent, declared);
    const RunControl guarded = space.guarding(control);
    const EarlyWriteback writeback(parent);
    const ArchiveError full(ArchiveError::Case::notEnoughSpace);
    std::optional<ArchiveError> first;
    try {
        ExtractionRoutes::run(unpacking, working, guarded);
        return working;
    } catch (const ArchiveError& failure) {
        // A tool that ran the disk full before the guard saw it fails in words of its own.
        const bool exhausted = space.exhausted();
        removeTree(working);
        if (failure == full || exhausted) {
            throw full;
        }
        if (failure.errorCase() == ArchiveError::Case::unpacksBeyondDeclared) {
            throw;
        }
        first = aboutVisibleFolder(failure, working, shown);
    } catch (...) {
        const bool exhausted = space.exhausted();
        removeTree(working);
        if (exhausted) {
            throw full;
        }
        throw;
    }
    const auto second = ExtractionRoutes::second(unpacking, *first, guarded);
    if (!second) {
        throw *first;
    }
    working = makeWorkingFolder(parent, shown);
    try {
        second(working);
        return working;
    } catch (const ArchiveError& failure) {
        const bool exhausted = space.exhausted();
        removeTree(working);
        if (failure == full || exhausted) {
            throw full;
        }
        const ArchiveError again = aboutVisibleFolder(failure, working, shown);
        // unar's words are the better account of a RAR that neither could read; for a ZIP, unzip's
        // are only that it lacks the method.
        const bool keepFirst =
            unpacking.kind == ArchiveKind::rar && again.errorCase() == ArchiveError::Case::toolFailed;
        throw keepFirst ? *first : again;
    } catch (...) {
        removeTree(working);
        throw;
    }
}

// One compressed file becomes the file itself, in `parent` and named after the archive ("notes.txt"
// from "notes.txt.gz"). The data goes through the compressor's own tool to a hidden file, never
// under a name the archive chooses.
fs::path decompress(ArchiveKind kind, const fs::path& archive, const fs::path& parent, const RarSupport& support,
                    const RunControl& control)
{
    if (!kind.hasMagic(archive)) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    // The compressor's tool and 7-Zip's name of the type are the same word.
    const std::string_view type = Tar::compressorOf(kind);
    ToolRun run;
    if (const auto native = ToolLocator::executable(type)) {
        run = Tar::decompress(*native, archive);
    } else if (support.sevenZip) {
        run = SevenZip::decompress(*support.sevenZip, archive, type);
    } else if (support.unar) {
        run = Unar::decompress(*support.unar, archive);
    } else {
        throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
    }
    const fs::path working = hiddenWorkPath(parent);
    run.standardOutputFile = working;
    run.session = control.session;
    const SpaceGuard space(parent);
    run.watch = [&space] { return space.check(); };
    run.fileSizeCeiling = space.writeAllowance();
    const EarlyWriteback writeback(parent);
    try {
        try {
            ProcessRunner::run(run);
        } catch (const ArchiveError& failure) {
            if (failure.errorCase() == ArchiveError::Case::toolFailed && space.exhausted()) {
                throw ArchiveError(ArchiveError::Case::notEnoughSpace);
            }
            throw;
        }
        // The archive's own permission bits, as gzip -d keeps them, made safe.
        constexpr auto kKept = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec;
        setMode(working, fs::status(archive).permissions() & kKept);
        const std::string stem = ArchiveNames::stem(archive);
        const std::string extension = pathExtension(stem);
        return publish(working, parent, extension.empty() ? stem : deletingPathExtension(stem), extension);
    } catch (...) {
        removeTree(working);
        throw;
    }
}

} // namespace

fs::path ArchiveEngine::extract(const fs::path& given, const RarSupport& support,
                                const std::optional<std::string>& password, const RunControl& control,
                                std::string_view encoding)
{
    // Any part of an archive cut into parts means the whole set.
    const fs::path archive = SplitSet::whole(given);
    const ArchiveKind kind = requireKind(archive);
    checkArchive(archive);
    if (kind.isSingleFile()) {
        return decompress(kind, archive, archive.parent_path(), support, control);
    }
    const fs::path parent = archive.parent_path();
    const std::string base = ArchiveNames::stem(archive);
    Unpacking unpacking{kind, archive, support, normalized(password), {}};
    const auto listing = std::make_shared<DeclaredListing>(kind, archive, support, unpacking.password, control.session);
    unpacking.selection.encoding = ArchiveCatalog::nameEncoding(archive, support, encoding, control.session);
    const fs::path working = unpack(unpacking, parent, base, control, listing);
    try {
        const SafeResult safe = makeSafe(working, unpacking.selection.encoding);
        // A ZIP may declare a thousand bytes and inflate to gigabytes; unzip does not mind.
        const std::optional<Declared> declared = listing->wait();
        if (declared && safe.bytes > declared->bytes + (1 << 20) + declared->bytes / 100) {
            throw ArchiveError(ArchiveError::Case::unpacksBeyondDeclared);
        }
        const int leftOut = safe.leftOut;
        // The usual case, a lone folder and nothing else, becomes the result in one rename.
        std::vector<fs::path> all;
        for (const auto& entry : fs::directory_iterator(working)) {
            all.push_back(entry.path());
        }
        if (all.size() == 1 && !isHidden(all.front()) && isRealDirectory(all.front())) {
            const fs::path lone = all.front();
            const fs::path result = publish(lone, parent, base);
            fs::remove(working);
            reportLeftOut(control, leftOut);
            return result;
        }
        flattenSingleRoot(working);
        setMode(working, plainFolderMode());
        const fs::path result = publish(working, parent, base);
        reportLeftOut(control, leftOut);
        return result;
    } catch (...) {
        removeTree(working);
        throw;
    }
}

namespace {

// Chosen entries unpacked into a hidden working folder in `parent`, made safe, each found there.
struct UnpackedChoice
{
    fs::path working;
    std::vector<std::string> entries; // in their safe form
    int leftOut = 0;
};

UnpackedChoice unpackChosen(const EntryRequest& request, ArchiveKind kind, const std::vector<std::string>& typed,
                            const fs::path& parent, const std::string& base)
{
    const fs::path& path = request.archive;
    const RarSupport& support = request.tools;
    const RunControl& control = request.control;
    const ArchiveError cannotExtract(ArchiveError::Case::entryCannotBeExtracted);
    UnpackedChoice result{{}, chosenEntries(typed)};
    if (result.entries.empty()) {
        throw cannotExtract;
    }
    // What the caller knows of a lone entry; the listing tells it of several.
    std::optional<bool> isDirectory;
    if (result.entries.size() == 1) {
        isDirectory = request.isDirectory;
    }
    const std::optional<std::string> secret = ArchiveEngine::normalized(request.password);
    const bool zipFamily = kind == ArchiveKind::zip || kind == ArchiveKind::jar;
    Selection selection;
    for (const std::string& entry : result.entries) {
        selection.entries.push_back({.entry = entry, .isDirectory = isDirectory.value_or(false)});
    }
    const auto anyChosen = [&](const auto& test) {
        return std::any_of(selection.entries.begin(), selection.entries.end(), test);
    };
    // unar reads names as wildcard patterns, so it chooses by the lister's numbers; so does a RAR
    // folder or a RAR name with "*" or "?", which unrar cannot quote. unzip needs to know a folder
    // from a file. The listing tells all of it.
    bool viaUnar = (kind == ArchiveKind::sevenZip && !support.sevenZip) ||
                   (kind == ArchiveKind::zipx && !support.sevenZip && !ExtractionRoutes::bsdtar()) ||
                   (kind == ArchiveKind::rar && ExtractionRoutes::rarByUnar(support));
    const bool rarMayNeedUnar = kind == ArchiveKind::rar && support.unar && !viaUnar;
    if (rarMayNeedUnar &&
        anyChosen([&](const Selection::Chosen& chosen) { return Rarlab::cannotQuote(path, chosen.entry); })) {
        viaUnar = true;
    }
    selection.encoding = ArchiveCatalog::nameEncoding(path, support, request.encoding, control.session);
    // Names in a legacy encoding, or bytes shown as "%xx", are stored otherwise than shown.
    const bool storedOtherwise = !selection.encoding.empty() || anyChosen([](const Selection::Chosen& chosen) {
        return chosen.entry.find('%') != std::string::npos;
    });
    const bool needListing = viaUnar || rarMayNeedUnar || (zipFamily && isDirectory != false) ||
                             (kind == ArchiveKind::rar && !isDirectory) || storedOtherwise;
    // Only lsar knows unar's numbers; everything else Tarvo's own lister tells as well.
    const bool needNumbers = viaUnar || rarMayNeedUnar;
    const bool listed = needListing && (support.lister || (support.entryLister && !needNumbers));
    if (listed) {
        readListing(selection, ArchiveCatalog::list({.archive = path,
                                                     .password = secret.value_or(""),
                                                     .tools = support,
                                                     .session = control.session,
                                                     .unarNumbers = needNumbers,
                                                     .encoding = selection.encoding}));
        if (anyChosen([](const Selection::Chosen& chosen) { return !chosen.found; })) {
            throw cannotExtract;
        }
        if (rarMayNeedUnar && anyChosen([](const Selection::Chosen& chosen) { return chosen.isDirectory; })) {
            viaUnar = true;
        }
    }
    selection.viaUnar = viaUnar;
    if (viaUnar && !selection.numbered()) {
        // Without the lister's numbers unar cannot be told to take exactly these entries.
        throw cannotExtract;
    }
    // unzip fails on a pattern that matches nothing: an empty folder needs no tool.
    std::vector<std::string> emptyFolders;
    if (zipFamily && listed) {
        std::erase_if(selection.entries, [&](const Selection::Chosen& chosen) {
            const bool empty = chosen.isDirectory && !chosen.hasDescendants;
            if (empty) {
                emptyFolders.push_back(chosen.entry);
            }
            return empty;
        });
    }
    result.working = selection.entries.empty()
                         ? makeWorkingFolder(parent, NameFactory::uniqueDirectory(parent, base))
                         : unpack({kind, path, support, secret, selection}, parent, base, control);
    try {
        for (const std::string& folder : emptyFolders) {
            fs::create_directories(result.working / folder);
        }
        // What is dragged out goes to another program, which would read through a link to wherever
        // it points (a link named invoice.pdf to ~/.ssh/id_rsa, say): links are left out there.
        result.leftOut = makeSafe(result.working, selection.encoding, !request.directory).leftOut;
        // A tool may end well without writing an entry (7zz with a name that matches nothing), or
        // it was a pipe, a device or, dragged out, a link.
        for (const std::string& entry : result.entries) {
            std::error_code error;
            if (!fs::exists(fs::symlink_status(result.working / entry, error))) {
                throw cannotExtract;
            }
        }
        setMode(result.working, plainFolderMode());
        return result;
    } catch (...) {
        removeTree(result.working);
        throw;
    }
}

// The chosen entries unpacked into a new folder named as the archive's, beside it or in the
// request's own folder: that folder.
fs::path unpackAndPublish(const EntryRequest& request, ArchiveKind kind, const std::vector<std::string>& entries)
{
    const fs::path parent = request.directory.value_or(request.archive.parent_path());
    const std::string base = ArchiveNames::stem(request.archive);
    const UnpackedChoice unpacked = unpackChosen(request, kind, entries, parent, base);
    try {
        const fs::path result = publish(unpacked.working, parent, base, {}, !request.directory);
        reportLeftOut(request.control, unpacked.leftOut);
        return result;
    } catch (...) {
        removeTree(unpacked.working);
        throw;
    }
}

} // namespace

fs::path ArchiveEngine::extractEntry(const EntryRequest& request)
{
    if (const fs::path whole = SplitSet::whole(request.archive); whole != request.archive) {
        EntryRequest set = request;
        set.archive = whole;
        return extractEntry(set);
    }
    const ArchiveKind kind = requireKind(request.archive);
    checkArchive(request.archive);
    const auto entry = ArchiveNames::safeEntry(request.entry);
    if (!entry) {
        throw ArchiveError(ArchiveError::Case::entryCannotBeExtracted);
    }
    if (kind.isSingleFile()) {
        // Its one entry is the whole of it, named after the archive.
        if (*entry != trimmed(ArchiveNames::stem(request.archive))) {
            throw ArchiveError(ArchiveError::Case::entryCannotBeExtracted);
        }
        return decompress(kind, request.archive, request.directory.value_or(request.archive.parent_path()),
                          request.tools, request.control);
    }
    return unpackAndPublish(request, kind, {request.entry}) / *entry;
}

fs::path ArchiveEngine::extractEntries(const EntryRequest& request)
{
    if (const fs::path whole = SplitSet::whole(request.archive); whole != request.archive) {
        EntryRequest set = request;
        set.archive = whole;
        return extractEntries(set);
    }
    const ArchiveKind kind = requireKind(request.archive);
    checkArchive(request.archive);
    if (kind.isSingleFile()) {
        // Its one entry is the whole of it: the file itself.
        if (request.entries.size() != 1) {
            throw ArchiveError(ArchiveError::Case::entryCannotBeExtracted);
        }
        EntryRequest one = request;
        one.entry = request.entries[0];
        return extractEntry(one);
    }
    return unpackAndPublish(request, kind, request.entries);
}

} // namespace tarvo::engine
