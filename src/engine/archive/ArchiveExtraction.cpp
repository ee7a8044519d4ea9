// Unpacking archives into a new folder beside them.
#include "ArchiveCatalog.h"
#include "ArchiveEngine.h"
#include "ExtractionRoutes.h"
#include "JobTools.h"
#include "SpaceGuard.h"
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

// What the listing says of the entry: whether it is there, whether it is a folder (marked so, or
// with entries below it), and the lister's numbers of it and everything below it.
void readListing(Selection& selection, const ArchiveListing& listing)
{
    const std::string& entry = *selection.entry;
    const std::string prefix = entry + "/";
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        const ArchiveEntry& candidate = listing.entries[i];
        const bool itself = candidate.path == entry;
        const bool below = candidate.path.starts_with(prefix);
        if (!itself && !below) {
            continue;
        }
        if (selection.stored.empty() && !candidate.storedPath.empty()) {
            // Names are read component by component: the entry's stored name is as many of the
            // candidate's stored components.
            const auto depth = std::count(entry.begin(), entry.end(), '/');
            std::size_t end = 0;
            for (auto i = 0; i <= depth && end != std::string::npos; ++i) {
                end = candidate.storedPath.find('/', i == 0 ? 0 : end + 1);
            }
            selection.stored = candidate.storedPath.substr(0, end);
        }
        selection.found = true;
        selection.isDirectory = selection.isDirectory || below || candidate.isDirectory;
        selection.hasDescendants = selection.hasDescendants || below;
        if (i < listing.indexes.size() && listing.indexes[i] >= 0) {
            selection.indexes.push_back(listing.indexes[i]);
        }
    }
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

fs::path ArchiveEngine::extract(const fs::path& archive, const RarSupport& support,
                                const std::optional<std::string>& password, const RunControl& control,
                                std::string_view encoding)
{
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

fs::path ArchiveEngine::extractEntry(const EntryRequest& request)
{
    const fs::path& path = request.archive;
    const RarSupport& support = request.tools;
    const RunControl& control = request.control;
    const std::optional<bool> isDirectory = request.isDirectory;
    const ArchiveKind kind = requireKind(path);
    const auto entry = ArchiveNames::safeEntry(request.entry);
    if (!entry) {
        throw ArchiveError(ArchiveError::Case::entryCannotBeExtracted);
    }
    const std::optional<std::string> secret = normalized(request.password);
    checkArchive(path);
    const fs::path parent = request.directory.value_or(path.parent_path());
    if (kind.isSingleFile()) {
        // Its one entry is the whole of it, named after the archive.
        if (*entry != trimmed(ArchiveNames::stem(path))) {
            throw ArchiveError(ArchiveError::Case::entryCannotBeExtracted);
        }
        return decompress(kind, path, parent, support, control);
    }

    const bool zipFamily = kind == ArchiveKind::zip || kind == ArchiveKind::jar;
    const ArchiveError cannotExtract(ArchiveError::Case::entryCannotBeExtracted);
    Selection selection;
    selection.entry = *entry;
    selection.isDirectory = isDirectory.value_or(false);
    // unar reads names as wildcard patterns, so it chooses by the lister's numbers; so does a RAR
    // folder or a RAR name with "*" or "?", which unrar cannot quote. unzip needs to know a folder
    // from a file. The listing tells all of it.
    bool viaUnar = (kind == ArchiveKind::sevenZip && !support.sevenZip) ||
                   (kind == ArchiveKind::zipx && !support.sevenZip && !ExtractionRoutes::bsdtar()) ||
                   (kind == ArchiveKind::rar && ExtractionRoutes::rarByUnar(support));
    const bool rarMayNeedUnar = kind == ArchiveKind::rar && support.unar && !viaUnar;
    if (rarMayNeedUnar && Rarlab::cannotQuote(path, *entry)) {
        viaUnar = true;
    }
    selection.encoding = ArchiveCatalog::nameEncoding(path, support, request.encoding, control.session);
    // Names in a legacy encoding, or bytes shown as "%xx", are stored otherwise than shown.
    const bool storedOtherwise = !selection.encoding.empty() || entry->find('%') != std::string::npos;
    const bool needListing = viaUnar || rarMayNeedUnar || (zipFamily && isDirectory != false) ||
                             (kind == ArchiveKind::rar && !isDirectory) || storedOtherwise;
    // Only lsar knows unar's numbers; everything else Tarvo's own lister tells as well.
    const bool needNumbers = viaUnar || rarMayNeedUnar;
    if (needListing && (support.lister || (support.entryLister && !needNumbers))) {
        readListing(selection, ArchiveCatalog::list({.archive = path,
                                                     .password = secret.value_or(""),
                                                     .tools = support,
                                                     .session = control.session,
                                                     .unarNumbers = needNumbers,
                                                     .encoding = selection.encoding}));
        if (!selection.found) {
            throw cannotExtract;
        }
        if (rarMayNeedUnar && selection.isDirectory) {
            viaUnar = true;
        }
    }
    selection.viaUnar = viaUnar;
    if (viaUnar && selection.indexes.empty()) {
        // Without the lister's numbers unar cannot be told to take exactly this entry.
        throw cannotExtract;
    }

    const std::string base = ArchiveNames::stem(path);
    if (zipFamily && selection.found && selection.isDirectory && !selection.hasDescendants) {
        // unzip fails on a pattern that matches nothing; an empty folder needs no tool.
        const fs::path working = makeWorkingFolder(parent, NameFactory::uniqueDirectory(parent, base));
        try {
            fs::create_directories(working / *entry);
            setMode(working, plainFolderMode());
            return publish(working, parent, base, {}, !request.directory) / *entry;
        } catch (...) {
            removeTree(working);
            throw;
        }
    }
    const fs::path working = unpack({kind, path, support, secret, selection}, parent, base, control);
    try {
        // What is dragged out goes to another program, which would read through a link to wherever
        // it points (a link named invoice.pdf to ~/.ssh/id_rsa, say): links are left out there.
        const int leftOut = makeSafe(working, selection.encoding, !request.directory).leftOut;
        // A tool may end well without writing the entry (7zz with a name that matches nothing), or
        // it was a pipe, a device or, dragged out, a link.
        std::error_code error;
        if (!fs::exists(fs::symlink_status(working / *entry, error))) {
            throw cannotExtract;
        }
        setMode(working, plainFolderMode());
        const fs::path result = publish(working, parent, base, {}, !request.directory) / *entry;
        reportLeftOut(control, leftOut);
        return result;
    } catch (...) {
        removeTree(working);
        throw;
    }
}

} // namespace tarvo::engine
