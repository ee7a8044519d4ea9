// Unpacking archives into a new folder beside them.
#include "ArchiveCatalog.h"
#include "ArchiveEngine.h"
#include "ArchiveError.h"
#include "ArchiveKind.h"
#include "ArchiveNames.h"
#include "FileSystem.h"
#include "JobTools.h"
#include "L10n.h"
#include "NameFactory.h"
#include "PathText.h"
#include "Uuid.h"

#include <algorithm>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

// What to take out of the archive: everything, or one entry (and, for a folder, all below it).
struct Selection
{
    std::optional<std::string> entry;
    bool isDirectory = false;
    bool hasDescendants = false;
    bool found = false;
    // unar is to take the entry, by the lister's numbers of it and of everything below it.
    bool viaUnar = false;
    std::vector<std::int64_t> indexes;
};

bool isUnar(const fs::path& tool)
{
    return tool.filename() == "unar";
}

// unrar reads "*" and "?" as wildcards in the archive's name and in entry names, and a name
// beginning with "@" as a list file; it has no way to quote them.
bool unrarCannotQuote(const fs::path& archive, const std::optional<std::string>& entry)
{
    const auto wild = [](const std::string& name) { return name.find_first_of("*?") != std::string::npos; };
    return wild(archive.filename().string()) || (entry && (wild(*entry) || entry->starts_with('@')));
}

void runUnar(const fs::path& tool, const fs::path& archive, const fs::path& destination,
             const std::optional<std::string>& password, const Selection& selection, const RunControl& control)
{
    // Without "-no-directory" unar wraps several top-level items in a folder of its own.
    std::vector<std::string> arguments = {"-no-directory", "-force-overwrite", "-output-directory",
                                          destination.string()};
    if (password) {
        arguments.insert(arguments.end(), {"-password", *password});
    }
    if (selection.entry) {
        // unar reads names as wildcard patterns; the lister's numbers pick exactly the entry.
        arguments.push_back("-indexes");
    }
    arguments.insert(arguments.end(), {"--", archive.string()});
    for (std::int64_t index : selection.indexes) {
        arguments.push_back(std::to_string(index));
    }
    runTool(tool, std::move(arguments), std::nullopt, {0}, password, control);
}

void runUnzip(const fs::path& archive, const fs::path& destination, const std::optional<std::string>& password,
              const Selection& selection, const RunControl& control)
{
    std::vector<std::string> arguments = {"-o"};
    if (password) {
        arguments.insert(arguments.end(), {"-P", *password});
    }
    // unzip reads wildcards in the archive's name too: Report[1].zip would open Report1.zip.
    arguments.push_back(ArchiveEngine::unzipLiteral(archive.string()));
    if (selection.entry) {
        const std::string literal = ArchiveEngine::unzipLiteral(*selection.entry);
        arguments.push_back(selection.isDirectory ? literal + "/*" : literal);
    }
    arguments.insert(arguments.end(), {"-d", destination.string()});
    runTool("/usr/bin/unzip", std::move(arguments), std::nullopt, {0, 1}, password, control);
}

void runTar(const fs::path& archive, const fs::path& destination, const Selection& selection, const RunControl& control)
{
    const TarTool tar = requireSystemTar();
    // Files belong to the user who unpacks them, also when that user is root.
    std::vector<std::string> arguments = {"-xzf", archive.string(), "-C", destination.string(), "--no-same-owner"};
    if (!tar.isBsdtar) {
        arguments.push_back("--no-wildcards");
    }
    arguments.push_back("--");
    if (selection.entry) {
        arguments.push_back(tar.isBsdtar ? ArchiveEngine::tarLiteral(*selection.entry) : *selection.entry);
    }
    runTool(tar.path, std::move(arguments), std::nullopt, {0}, std::nullopt, control);
}

void runSevenZip(const fs::path& archive, const fs::path& destination, const RarSupport& support,
                 const std::optional<std::string>& password, const Selection& selection, const RunControl& control)
{
    if (!support.sevenZip || selection.viaUnar) {
        if (!support.unar) {
            throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
        }
        runUnar(*support.unar, archive, destination, password, selection, control);
        return;
    }
    // A bare "-p" keeps 7-Zip from asking for a password it cannot get; "-spd" takes the entry name
    // literally. 7-Zip takes a folder entry with everything below it.
    std::vector<std::string> arguments = {
        "x",    "-y", "-bso1",         "-o" + destination.string(), password ? "-p" + *password : "-p",
        "-spd", "--", archive.string()};
    if (selection.entry) {
        arguments.push_back(*selection.entry);
    }
    runTool(*support.sevenZip, std::move(arguments), std::nullopt, {0, 1}, password, control);
}

void runRar(const fs::path& archive, const fs::path& destination, const RarSupport& support,
            const std::optional<std::string>& password, const Selection& selection, const RunControl& control)
{
    if (!support.extractor) {
        throw ArchiveError(ArchiveError::Case::extractorUnavailable);
    }
    const fs::path tool = *support.extractor;
    const bool awkward = unrarCannotQuote(archive, selection.entry);
    if (isUnar(tool) || selection.viaUnar || (awkward && support.unar && !selection.entry)) {
        runUnar(isUnar(tool) ? tool : *support.unar, archive, destination, password, selection, control);
        return;
    }
    if (awkward) {
        throw ArchiveError::toolFailed(tool.filename().string(), 1, L10n::text(Text::pathCannotBeExtracted));
    }
    std::string target = destination.string();
    if (!target.ends_with('/')) {
        target += '/';
    }
    // "-p-" keeps unrar from asking for a password it cannot get.
    std::vector<std::string> arguments = {
        "x", "-y", "-o+", password ? "-p" + *password : "-p-", "--", archive.string()};
    if (selection.entry) {
        arguments.push_back(selection.isDirectory ? *selection.entry + "/*" : *selection.entry);
    }
    arguments.push_back(target);
    runTool(tool, std::move(arguments), std::nullopt, {0, 1}, password, control);
}

void runExtraction(ArchiveKind kind, const fs::path& archive, const fs::path& destination, const RarSupport& support,
                   const std::optional<std::string>& password, const Selection& selection, const RunControl& control)
{
    switch (kind) {
    case ArchiveKind::zip:
        runUnzip(archive, destination, password, selection, control);
        return;
    case ArchiveKind::tarGz:
        runTar(archive, destination, selection, control);
        return;
    case ArchiveKind::rar:
        runRar(archive, destination, support, password, selection, control);
        return;
    case ArchiveKind::sevenZip:
        runSevenZip(archive, destination, support, password, selection, control);
        return;
    }
}

// A fresh hidden folder beside the archive, which becomes the result only when complete.
fs::path makeWorkingFolder(const fs::path& parent, const fs::path& final)
{
    const fs::path working = parent / (".tarvo-" + makeUuid());
    std::error_code error;
    if (!fs::create_directory(working, error) || error) {
        throw fs::filesystem_error("cannot create the folder", final,
                                   error ? error : std::make_error_code(std::errc::file_exists));
    }
    return working;
}

// Gives the finished folder its real name, the next free one if someone took it meanwhile.
fs::path publish(const fs::path& working, const fs::path& parent, const std::string& base)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path final = NameFactory::uniqueDirectory(parent, base);
        if (renameNoReplace(working, final)) {
            return final;
        }
    }
    throw fs::filesystem_error("cannot name the folder", parent / base, std::make_error_code(std::errc::file_exists));
}

bool isRealDirectory(const fs::path& path)
{
    std::error_code error;
    return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

bool isHidden(const fs::path& path)
{
    return path.filename().native().starts_with('.');
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
        selection.found = true;
        selection.isDirectory = selection.isDirectory || below || candidate.isDirectory;
        selection.hasDescendants = selection.hasDescendants || below;
        if (i < listing.indexes.size() && listing.indexes[i] >= 0) {
            selection.indexes.push_back(listing.indexes[i]);
        }
    }
}

// The archive must be there and be a file: a clear error instead of each tool's own words.
void checkArchive(const fs::path& archive)
{
    std::error_code error;
    const fs::file_status status = fs::status(archive, error);
    if (!fs::exists(status)) {
        throw fs::filesystem_error("cannot open the archive", archive,
                                   error ? error : std::make_error_code(std::errc::no_such_file_or_directory));
    }
    if (fs::is_directory(status)) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
}

} // namespace

std::string ArchiveEngine::unzipLiteral(std::string_view name)
{
    std::string pattern;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '[' || c == '*' || c == '?' || (i == 0 && c == '-')) {
            pattern += '[';
            pattern += c;
            pattern += ']';
        } else if (c == '\\') {
            pattern += "\\\\";
        } else {
            pattern += c;
        }
    }
    return pattern;
}

std::string ArchiveEngine::tarLiteral(std::string_view name)
{
    std::string pattern;
    for (char c : name) {
        if (c == '[' || c == ']' || c == '*' || c == '?' || c == '\\') {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern;
}

void ArchiveEngine::flattenSingleRoot(const fs::path& folder)
{
    std::vector<fs::path> visible;
    std::vector<std::string> hidden;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (isHidden(entry.path())) {
            hidden.push_back(entry.path().filename().string());
        } else {
            visible.push_back(entry.path());
        }
    }
    // A lone link, even to a folder, is not lifted: its target may lie anywhere.
    if (visible.size() != 1 || !isRealDirectory(visible.front())) {
        return;
    }
    const fs::path lone = visible.front();
    std::vector<fs::path> children;
    for (const auto& entry : fs::directory_iterator(lone)) {
        children.push_back(entry.path());
    }
    // A hidden item at the top stays there; if the lone folder holds one of the same name,
    // lifting would replace it, so the folder stays as it is.
    for (const auto& child : children) {
        if (std::find(hidden.begin(), hidden.end(), child.filename().string()) != hidden.end()) {
            return;
        }
    }
    // The lone folder goes aside first, so that a child with its own name (Photos/Photos) can move up.
    const fs::path aside = folder / (".tarvo-lift-" + makeUuid());
    if (!renameNoReplace(lone, aside)) {
        throw fs::filesystem_error("cannot move", lone, aside, std::make_error_code(std::errc::file_exists));
    }
    for (const auto& child : children) {
        const fs::path from = aside / child.filename();
        const fs::path to = folder / child.filename();
        if (!renameNoReplace(from, to)) {
            throw fs::filesystem_error("cannot move", from, to, std::make_error_code(std::errc::file_exists));
        }
    }
    fs::remove(aside);
}

fs::path ArchiveEngine::extract(const fs::path& archive, const RarSupport& support,
                                const std::optional<std::string>& password, const RunControl& control)
{
    const auto kind = ArchiveKind::from(archive);
    if (!kind) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    const std::optional<std::string> secret = normalized(password);
    const fs::path path = cleanPath(archive);
    checkArchive(path);
    const fs::path parent = path.parent_path();
    const std::string base = ArchiveNames::stem(path);
    const fs::path working = makeWorkingFolder(parent, NameFactory::uniqueDirectory(parent, base));
    try {
        runExtraction(*kind, path, working, support, secret, Selection{}, control);
        // The usual case, a lone folder and nothing else, becomes the result in one rename.
        std::vector<fs::path> all;
        for (const auto& entry : fs::directory_iterator(working)) {
            all.push_back(entry.path());
        }
        if (all.size() == 1 && !isHidden(all.front()) && isRealDirectory(all.front())) {
            const fs::path lone = all.front();
            const fs::path result = publish(lone, parent, base);
            fs::remove(working);
            return result;
        }
        flattenSingleRoot(working);
        return publish(working, parent, base);
    } catch (...) {
        removeTree(working);
        throw;
    }
}

fs::path ArchiveEngine::extractEntry(const fs::path& archive, std::string_view entryPath, const RarSupport& support,
                                     const std::optional<std::string>& password, const RunControl& control,
                                     std::optional<bool> isDirectory)
{
    const auto kind = ArchiveKind::from(archive);
    if (!kind) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    const auto entry = ArchiveNames::safeEntry(entryPath);
    if (!entry) {
        throw ArchiveError::toolFailed("Tarvo", 1, L10n::text(Text::pathCannotBeExtracted));
    }
    const std::optional<std::string> secret = normalized(password);
    const fs::path path = cleanPath(archive);
    checkArchive(path);

    const ArchiveError cannotExtract = ArchiveError::toolFailed("Tarvo", 1, L10n::text(Text::pathCannotBeExtracted));
    Selection selection;
    selection.entry = *entry;
    selection.isDirectory = isDirectory.value_or(false);
    // unar reads names as wildcard patterns, so it chooses by the lister's numbers; so does a RAR
    // folder or a RAR name with "*" or "?", which unrar cannot quote. unzip needs to know a folder
    // from a file. The listing tells all of it.
    bool viaUnar = (*kind == ArchiveKind::sevenZip && !support.sevenZip) ||
                   (*kind == ArchiveKind::rar && support.extractor && isUnar(*support.extractor));
    const bool rarMayNeedUnar = *kind == ArchiveKind::rar && support.unar && !viaUnar;
    if (rarMayNeedUnar && unrarCannotQuote(path, *entry)) {
        viaUnar = true;
    }
    const bool needListing = viaUnar || rarMayNeedUnar || (*kind == ArchiveKind::zip && isDirectory != false) ||
                             (*kind == ArchiveKind::rar && !isDirectory);
    if (needListing && support.lister) {
        readListing(selection, ArchiveCatalog::list(path, secret.value_or(""), support, control.session));
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

    const fs::path parent = path.parent_path();
    const std::string base = ArchiveNames::stem(path);
    const fs::path working = makeWorkingFolder(parent, NameFactory::uniqueDirectory(parent, base));
    try {
        if (*kind == ArchiveKind::zip && selection.found && selection.isDirectory && !selection.hasDescendants) {
            // unzip fails on a pattern that matches nothing; an empty folder needs no tool.
            fs::create_directories(working / *entry);
        } else {
            runExtraction(*kind, path, working, support, secret, selection, control);
        }
        return publish(working, parent, base) / *entry;
    } catch (...) {
        removeTree(working);
        throw;
    }
}

} // namespace tarvo::engine
