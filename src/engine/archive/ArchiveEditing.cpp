// SPDX-License-Identifier: GPL-3.0-or-later

// Changing an archive in place: adding, removing and renaming entries.
#include "ArchiveCatalog.h"
#include "ArchiveEngine.h"
#include "JobTools.h"
#include "SplitSet.h"
#include "engine/adapters/InfoZip.h"
#include "engine/adapters/Rarlab.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/ToolLocator.h"
#include "engine/util/FileSystem.h"
#include "engine/util/PathText.h"
#include "engine/vocabulary/Housekeeping.h"

#include <algorithm>
#include <set>
#include <sys/stat.h>
#include <unordered_map>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

enum class Editor : std::uint8_t
{
    sevenZip,
    infoZip,
    tar,
    rar,
};

// Which tool changes this archive, or why none does.
Editor editorFor(const fs::path& archive, const RarSupport& tools)
{
    if (SplitSet::of(archive)) {
        throw ArchiveError(ArchiveError::Case::partsCannotChange);
    }
    const ArchiveKind kind = requireKind(archive);
    switch (kind) {
    case ArchiveKind::zip:
    case ArchiveKind::jar:
        if (tools.sevenZip) {
            return Editor::sevenZip;
        }
        if (ToolLocator::isExecutableFile(InfoZip::kZip) && ToolLocator::isExecutableFile(InfoZip::kZipNote)) {
            return Editor::infoZip;
        }
        throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
    case ArchiveKind::sevenZip:
        if (!tools.sevenZip) {
            throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
        }
        return Editor::sevenZip;
    case ArchiveKind::rar:
        if (!tools.creator) {
            throw ArchiveError(ArchiveError::Case::rarUnavailable);
        }
        return Editor::rar;
    default:
        // Only bsdtar copies another archive's entries into a new one.
        if (kind.isTar() && requireSystemTar().isBsdtar) {
            return Editor::tar;
        }
        throw ArchiveError(ArchiveError::Case::cannotEdit);
    }
}

bool isPlainName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// What the archive's file was when the edit began: the edit takes its place only if nobody wrote
// it meanwhile.
struct FileState
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified = {};
    mode_t mode = 0;

    static FileState of(const fs::path& path)
    {
        struct stat info = {};
        if (::stat(path.c_str(), &info) != 0) {
            throw fs::filesystem_error("cannot read the archive", path,
                                       std::error_code(errno, std::generic_category()));
        }
        return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_mode};
    }
    bool operator==(const FileState& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

bool isAtOrBelow(const std::string& path, const std::string& root)
{
    return path == root || (path.size() > root.size() && path.starts_with(root) && path[root.size()] == '/');
}

// Whether `path` is one of `roots` or lies below one: a look-up per folder of its path, so that a
// selection of thousands of rows in an archive of millions costs no more than a pass over it.
bool isUnderAny(const std::string& path, const std::set<std::string>& roots)
{
    if (roots.contains(path)) {
        return true;
    }
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (roots.contains(path.substr(0, slash))) {
            return true;
        }
    }
    return false;
}

// The archive's entries as listed, with the folders their paths imply.
class Contents
{
public:
    explicit Contents(ArchiveListing listing)
        : m_listing(std::move(listing))
    {
        for (std::size_t i = 0; i < m_listing.entries.size(); ++i) {
            const std::string path = trimmedPath(m_listing.entries[i].path);
            m_first.emplace(path, i);
            m_listed.insert(path);
            for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
                m_folders.insert(path.substr(0, slash));
            }
        }
    }

    static std::string trimmedPath(std::string_view path)
    {
        while (path.size() > 1 && path.back() == '/') {
            path.remove_suffix(1);
        }
        return std::string(path);
    }

    bool holds(const std::string& path) const { return m_listed.contains(path) || m_folders.contains(path); }
    const std::set<std::string>& listed() const { return m_listed; }
    const ArchiveListing& listing() const { return m_listing; }

    // The name a tool is told for the entry at `path`: as the archive stores it, a folder's with its
    // slash when `folderSlash` (zip matches names exactly); a folder only implied by its entries'
    // paths as its path.
    std::string storedName(const std::string& path, bool folderSlash) const
    {
        const auto found = m_first.find(path);
        if (found == m_first.end()) {
            return path;
        }
        const ArchiveEntry& entry = m_listing.entries[found->second];
        const std::string stored = trimmedPath(entry.storedPath.empty() ? entry.path : entry.storedPath);
        return folderSlash && entry.isDirectory ? stored + "/" : stored;
    }

    // The listed entries at `roots` and everything below them, in the archive's order (zipnote's).
    std::vector<std::string> pathsAt(const std::set<std::string>& roots) const
    {
        std::vector<std::string> paths;
        std::set<std::string> seen;
        for (const ArchiveEntry& entry : m_listing.entries) {
            std::string listed = trimmedPath(entry.path);
            if (isUnderAny(listed, roots) && seen.insert(listed).second) {
                paths.push_back(std::move(listed));
            }
        }
        return paths;
    }

private:
    ArchiveListing m_listing;
    std::unordered_map<std::string, std::size_t> m_first; // each path's first entry
    std::set<std::string> m_listed;
    std::set<std::string> m_folders;
};

std::string joined(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder + "/" + name;
}

// One edit under way: the archive, its working copy in a private folder beside it, and the steps
// every edit shares.
class Edit
{
public:
    explicit Edit(const EditRequest& request)
        : m_request(request)
        , m_archive(fs::canonical(request.archive))
    {
        checkArchive(m_archive);
        m_editor = editorFor(m_archive, request.tools);
        m_kind = requireKind(m_archive);
        m_before = FileState::of(m_archive);
        m_password = ArchiveEngine::normalized(request.password);
        m_contents.emplace(list(m_archive));
        if (m_contents->listing().isEncrypted && !m_password) {
            throw ArchiveError(ArchiveError::Case::wrongPassword);
        }
        // What is added to an archive without a password gets none either.
        if (!m_contents->listing().isEncrypted) {
            m_password.reset();
        }
        m_scratch = makePrivateFolder(m_archive.parent_path(), ".tarvo-");
        m_work = m_scratch / m_archive.filename();
    }
    ~Edit() { removeTree(m_scratch); }
    Edit(const Edit&) = delete;
    Edit& operator=(const Edit&) = delete;

    Editor editor() const { return m_editor; }
    ArchiveKind kind() const { return m_kind; }
    const Contents& contents() const { return *m_contents; }
    const std::optional<std::string>& password() const { return m_password; }
    const fs::path& archive() const { return m_archive; }
    const fs::path& work() const { return m_work; }
    const fs::path& scratch() const { return m_scratch; }
    const EditRequest& request() const { return m_request; }

    ArchiveListing list(const fs::path& archive) const
    {
        return ArchiveCatalog::list(
            {.archive = archive, .password = m_password.value_or(""), .tools = m_request.tools, .session = session()});
    }

    std::shared_ptr<ArchiveSession> session() const { return m_request.control.session; }

    // The working copy the tools change in place. 7-Zip writes a new file and renames it over the
    // name it was given, which leaves the archive's own file untouched: it gets a hard link where the
    // file system has them. zip writes back into a file with several links, to keep them, and rar
    // may write into the file it is given: they get a copy.
    void prepareCopy()
    {
        std::error_code error;
        if (m_editor == Editor::sevenZip) {
            fs::create_hard_link(m_archive, m_work, error);
        }
        if (m_editor != Editor::sevenZip || error) {
            fs::copy_file(m_archive, m_work);
        }
    }

    // Before any data is written under a password: one entry must open with it, so that added
    // entries cannot end up under a password the others do not share.
    void checkPassword() const
    {
        if (!m_password || !m_contents->listing().isEncrypted ||
            (m_editor != Editor::sevenZip && m_editor != Editor::infoZip) || !m_request.tools.sevenZip) {
            return;
        }
        const ArchiveEntry* smallest = nullptr;
        for (const ArchiveEntry& entry : m_contents->listing().entries) {
            if (!entry.isDirectory && entry.byteSize > 0 && (!smallest || entry.byteSize < smallest->byteSize)) {
                smallest = &entry;
            }
        }
        if (smallest) {
            const std::string name = smallest->storedPath.empty() ? smallest->path : smallest->storedPath;
            runTool(SevenZip::test(*m_request.tools.sevenZip, m_archive, m_password, {name}), quiet());
        }
    }

    RunControl quiet() const { return {.session = session(), .onProgress = {}}; }

    void run(ToolRun run, const fs::path& folder = {})
    {
        if (!folder.empty()) {
            run.currentDirectory = folder;
        }
        // The changed archive reaches the disk while the tool writes it, so that the flush before
        // it takes the archive's place finds little left to do.
        const EarlyWriteback writeback(m_scratch);
        runTool(std::move(run), m_request.control);
    }

    // Reads the changed archive back: it must list exactly `expected`, or, when `atLeast`, at least
    // those entries. Then it takes the archive's name and mode, if nobody wrote the archive meanwhile.
    void finish(const std::set<std::string>& expected, bool atLeast = false)
    {
        const Contents changed(list(m_work));
        const std::set<std::string>& listed = changed.listed();
        const bool complete = std::includes(listed.begin(), listed.end(), expected.begin(), expected.end());
        if (!complete || (!atLeast && listed.size() != expected.size())) {
            throw ArchiveError(ArchiveError::Case::editNotVerified);
        }
        setMode(m_work, static_cast<fs::perms>(m_before.mode & 07777));
        flushToDisk(m_work);
        if (!(FileState::of(m_archive) == m_before)) {
            throw ArchiveError(ArchiveError::Case::archiveChanged);
        }
        fs::rename(m_work, m_archive);
        flushFolder(m_archive.parent_path());
    }

private:
    const EditRequest& m_request;
    fs::path m_archive;
    Editor m_editor = Editor::sevenZip;
    ArchiveKind m_kind = ArchiveKind::zip;
    FileState m_before;
    std::optional<std::string> m_password;
    std::optional<Contents> m_contents;
    fs::path m_scratch;
    fs::path m_work;
};

// The name a kept-both item takes: "name 2.ext", "name 3.ext", ... free in the archive and among
// the other new names.
std::string freeName(const Contents& contents, const std::string& folder, const std::string& name,
                     const std::set<std::string>& taken)
{
    const std::string extension = pathExtension(name);
    const std::string stem = deletingPathExtension(name);
    for (int n = 2;; ++n) {
        const std::string candidate = stem + " " + std::to_string(n) + (extension.empty() ? "" : "." + extension);
        const std::string path = joined(folder, candidate);
        if (!contents.holds(path) && !taken.contains(path)) {
            return candidate;
        }
    }
}

// A folder name no entry of the archive starts with, for what bsdtar adds from the disk.
std::string freshPrefix(const Contents& contents)
{
    std::string prefix = ".tarvo-add";
    for (int n = 2; contents.holds(prefix); ++n) {
        prefix = ".tarvo-add-" + std::to_string(n);
    }
    return prefix;
}

// Whether 7-Zip finds AES among a ZIP's methods, so that what is added is encrypted the same way.
bool zipUsesAes(const fs::path& sevenZip, const Edit& edit)
{
    bool aes = false;
    ProcessRunner::run(controlled(SevenZip::list(sevenZip, edit.archive(), edit.password()), edit.quiet()),
                       [&aes](std::string_view line) {
                           aes = aes || (line.starts_with("Method = ") && line.find("AES") != std::string_view::npos);
                       });
    return aes;
}

// Whether a 7Z's names open only with its password: listed without one, it fails.
bool namesEncrypted(const fs::path& sevenZip, const Edit& edit)
{
    try {
        ProcessRunner::run(controlled(SevenZip::list(sevenZip, edit.archive(), std::nullopt), edit.quiet()));
        return false;
    } catch (const ArchiveError& error) {
        if (error.errorCase() == ArchiveError::Case::cancelled) {
            throw;
        }
        return true;
    }
}

struct PlannedItem
{
    fs::path source;
    std::string path; // in the archive
};

std::vector<PlannedItem> planItems(const EditRequest& request, const Contents& contents, const fs::path& archive,
                                   std::vector<std::string>* clashes)
{
    if (!request.into.empty()) {
        std::string_view rest = request.into;
        while (!rest.empty()) {
            const std::size_t slash = rest.find('/');
            if (!isPlainName(rest.substr(0, slash))) {
                throw ArchiveError(ArchiveError::Case::badEntryName);
            }
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        }
    }
    std::vector<PlannedItem> planned;
    std::set<std::string> taken;
    for (const fs::path& item : request.items) {
        std::error_code error;
        if (!fs::exists(fs::symlink_status(item, error))) {
            continue;
        }
        const std::string& itemText = item.native();
        const std::string& archiveText = archive.native();
        if (item == archive || archiveText.starts_with(itemText == "/" ? itemText : itemText + "/") ||
            fs::equivalent(item, archive, error)) {
            throw ArchiveError(ArchiveError::Case::addsItself);
        }
        std::string name = item.filename().string();
        if (request.skipJunk && isHousekeeping(name)) {
            continue;
        }
        std::string path = joined(request.into, name);
        if (contents.holds(path) || taken.contains(path)) {
            if (clashes) {
                clashes->push_back(path);
            } else if (request.onClash == ClashChoice::refuse) {
                throw ArchiveError::entryExists(path);
            } else if (request.onClash == ClashChoice::keepBoth || taken.contains(path)) {
                name = freeName(contents, request.into, name, taken);
                path = joined(request.into, name);
            }
        }
        taken.insert(path);
        planned.push_back({item, path});
    }
    if (planned.empty() && !clashes) {
        throw ArchiveError(ArchiveError::Case::noInputs);
    }
    return planned;
}

// Removes what the housekeeping setting leaves out from a staged tree, for tools that cannot leave
// it out of one part of their work only.
void dropHousekeeping(const fs::path& folder)
{
    std::vector<fs::path> junk;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        if (isHousekeeping(it->path().filename().string())) {
            junk.push_back(it->path());
            it.disable_recursion_pending();
        }
    }
    for (const fs::path& path : junk) {
        removeTree(path);
    }
}

std::set<std::string> keptAfterRemoving(const Contents& contents, const std::vector<std::string>& removed)
{
    const std::set<std::string> roots(removed.begin(), removed.end());
    std::set<std::string> kept;
    for (const std::string& path : contents.listed()) {
        if (!isUnderAny(path, roots)) {
            kept.insert(path);
        }
    }
    return kept;
}

// Removes `paths` (each with everything below it) from the working copy.
void removeFromWork(Edit& edit, const std::vector<std::string>& paths)
{
    if (paths.empty()) {
        return;
    }
    const Contents& contents = edit.contents();
    std::vector<std::string> stored;
    if (edit.editor() == Editor::infoZip) {
        // zip takes no folder with its contents: each entry is named.
        for (const std::string& listed : contents.pathsAt({paths.begin(), paths.end()})) {
            stored.push_back(contents.storedName(listed, true));
        }
    } else {
        for (const std::string& path : paths) {
            stored.push_back(contents.storedName(path, false));
        }
    }
    const EditCommand command{edit.work(), stored, edit.password()};
    switch (edit.editor()) {
    case Editor::sevenZip:
        edit.run(SevenZip::remove(*edit.request().tools.sevenZip, command));
        break;
    case Editor::infoZip:
        edit.run(InfoZip::remove(command, edit.scratch()));
        break;
    case Editor::rar:
        edit.run(Rarlab::remove(*edit.request().tools.creator, command));
        break;
    case Editor::tar:
        break;
    }
}

} // namespace

std::optional<ArchiveError> ArchiveEngine::editBlocker(const fs::path& archive, const RarSupport& tools)
{
    try {
        editorFor(archive, tools);
    } catch (const ArchiveError& error) {
        return error;
    }
    return std::nullopt;
}

std::vector<std::string> ArchiveEngine::addClashes(const EditRequest& request)
{
    const fs::path archive = fs::canonical(request.archive);
    ArchiveListing listing = ArchiveCatalog::list({.archive = archive,
                                                   .password = normalized(request.password).value_or(""),
                                                   .tools = request.tools,
                                                   .session = request.control.session});
    std::vector<std::string> clashes;
    planItems(request, Contents(std::move(listing)), archive, &clashes);
    return clashes;
}

void ArchiveEngine::add(const EditRequest& request)
{
    Edit edit(request);
    const Contents& contents = edit.contents();
    const std::vector<PlannedItem> planned = planItems(request, contents, edit.archive(), nullptr);
    edit.checkPassword();

    // The items are staged under the paths they take in the archive, below a folder of their own
    // that the tools run in.
    const std::string prefix = edit.editor() == Editor::tar ? freshPrefix(contents) : std::string();
    const fs::path stage = edit.scratch() / "stage";
    fs::create_directory(stage);
    const fs::path root = prefix.empty() ? stage : stage / prefix;
    std::vector<std::string> names;
    std::vector<std::string> replaced;
    for (const PlannedItem& item : planned) {
        const fs::path target = root / item.path;
        fs::create_directories(target.parent_path());
        linkOrCopyTree(item.source, target, [&edit] {
            if (edit.session() && edit.session()->isCancelled()) {
                throw ArchiveError(ArchiveError::Case::cancelled);
            }
        });
        names.push_back(prefix.empty() ? item.path : prefix + "/" + item.path);
        if (contents.holds(item.path)) {
            replaced.push_back(item.path);
        }
    }
    std::set<std::string> expected = keptAfterRemoving(contents, replaced);
    for (const PlannedItem& item : planned) {
        expected.insert(item.path);
    }

    CreateCommand command{edit.work(), names, CompressionLevel::normal, edit.password(), request.skipJunk};
    if (edit.editor() == Editor::tar) {
        if (request.skipJunk) {
            dropHousekeeping(root);
        }
        edit.run(Tar::rewrite(requireSystemTar(), edit.kind(), edit.archive(), {edit.work(), names, std::nullopt},
                              replaced, prefix),
                 stage);
        edit.finish(expected, true);
        return;
    }
    edit.prepareCopy();
    // A replaced folder goes as a whole: what the new one lacks must not stay behind.
    removeFromWork(edit, replaced);
    switch (edit.editor()) {
    case Editor::sevenZip: {
        const fs::path& tool = *request.tools.sevenZip;
        const bool zip = edit.kind() != ArchiveKind::sevenZip;
        std::optional<ZipEncryption> encryption;
        if (zip) {
            encryption = edit.password() && !zipUsesAes(tool, edit) ? ZipEncryption::zipCrypto : ZipEncryption::aes256;
        }
        const bool hideNames = !zip && edit.password() && namesEncrypted(tool, edit);
        edit.run(SevenZip::add(tool, command, encryption, hideNames), stage);
        break;
    }
    case Editor::infoZip:
        edit.run(InfoZip::create(command, edit.scratch()), stage);
        break;
    case Editor::rar:
        edit.run(Rarlab::create(*request.tools.creator, command), stage);
        break;
    case Editor::tar:
        break;
    }
    edit.finish(expected, true);
}

void ArchiveEngine::remove(const EditRequest& request)
{
    Edit edit(request);
    const Contents& contents = edit.contents();
    std::vector<std::string> paths;
    for (const std::string& entry : request.entries) {
        const std::string path = Contents::trimmedPath(entry);
        if (!contents.holds(path)) {
            throw ArchiveError::entryMissing(path);
        }
        paths.push_back(path);
    }
    if (paths.empty()) {
        throw ArchiveError(ArchiveError::Case::noInputs);
    }
    const std::set<std::string> expected = keptAfterRemoving(contents, paths);
    if (edit.editor() == Editor::tar) {
        edit.run(
            Tar::rewrite(requireSystemTar(), edit.kind(), edit.archive(), {edit.work(), {}, std::nullopt}, paths, {}));
    } else {
        edit.prepareCopy();
        removeFromWork(edit, paths);
    }
    edit.finish(expected);
}

void ArchiveEngine::rename(const EditRequest& request)
{
    if (!isPlainName(request.newName) || request.entries.size() != 1) {
        throw ArchiveError(ArchiveError::Case::badEntryName);
    }
    Edit edit(request);
    const Contents& contents = edit.contents();
    const std::string from = Contents::trimmedPath(request.entries.front());
    if (!contents.holds(from)) {
        throw ArchiveError::entryMissing(from);
    }
    const std::size_t slash = from.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : from.substr(0, slash);
    const std::string to = joined(folder, request.newName);
    if (to == from) {
        return;
    }
    if (contents.holds(to)) {
        throw ArchiveError::entryExists(to);
    }
    std::set<std::string> expected;
    for (const std::string& path : contents.listed()) {
        expected.insert(isAtOrBelow(path, from) ? to + path.substr(from.size()) : path);
    }

    if (edit.editor() == Editor::tar) {
        // bsdtar renames nothing it copies from another archive: the entry is unpacked under its new
        // name and added back in place of the old one.
        const std::string prefix = freshPrefix(contents);
        const fs::path unpacked = edit.scratch() / "unpacked";
        const fs::path stage = edit.scratch() / "stage";
        fs::create_directory(unpacked);
        fs::create_directories(stage / prefix / folder);
        const TarTool tar = requireSystemTar();
        ExtractCommand extract{edit.archive(), unpacked, {{from, false}}, {}, std::nullopt};
        edit.run(Tar::extract(tar, edit.kind(), extract));
        fs::rename(unpacked / from, stage / prefix / to);
        edit.run(Tar::rewrite(tar, edit.kind(), edit.archive(), {edit.work(), {prefix + "/" + to}, std::nullopt},
                              {from}, prefix),
                 stage);
        edit.finish(expected);
        return;
    }
    std::vector<std::string> pairs;
    if (edit.editor() == Editor::sevenZip || edit.editor() == Editor::rar) {
        // Both move a folder's entries with it.
        pairs = {contents.storedName(from, false), to};
    } else {
        for (const std::string& listed : contents.pathsAt({from})) {
            const std::string stored = contents.storedName(listed, true);
            pairs.push_back(stored);
            pairs.push_back(to + stored.substr(std::min(stored.size(), from.size())));
        }
    }
    edit.prepareCopy();
    const EditCommand command{edit.work(), pairs, edit.password()};
    switch (edit.editor()) {
    case Editor::sevenZip:
        edit.run(SevenZip::rename(*request.tools.sevenZip, command));
        break;
    case Editor::infoZip: {
        std::optional<ToolRun> run = InfoZip::rename(command);
        if (!run) {
            throw ArchiveError(ArchiveError::Case::cannotEdit);
        }
        edit.run(std::move(*run));
        break;
    }
    case Editor::rar:
        edit.run(Rarlab::rename(*request.tools.creator, command));
        break;
    case Editor::tar:
        break;
    }
    edit.finish(expected);
}

} // namespace tarvo::engine
