// Unpacking archives into a new folder beside them.
#include "ArchiveCatalog.h"
#include "ArchiveEngine.h"
#include "JobTools.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/ToolKind.h"
#include "engine/tools/ToolLocator.h"
#include "engine/util/FileSystem.h"
#include "engine/util/LegacyNames.h"
#include "engine/util/PathText.h"
#include "engine/util/TextUtil.h"
#include "engine/util/Uuid.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/ArchiveNames.h"
#include "engine/vocabulary/NameFactory.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

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
    // The entry's name as the archive stores it, when the listing shows it otherwise.
    std::string stored;
    // The legacy encoding a ZIP's names are read in; empty when they need none.
    std::string encoding;

    // What the tools are told: the stored name, which is what they match.
    const std::string& toolEntry() const { return stored.empty() ? *entry : stored; }
};

bool isUnar(const fs::path& tool)
{
    return toolKindOf(tool.filename().string()) == ToolKind::unar;
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
    // unar parses headers as lsar does, and a broken one can make it grow without end. The ceiling
    // leaves room for 7-Zip's largest dictionary (1.5 GiB) and RAR's up to 1 GiB.
    runTool(tool, std::move(arguments), std::nullopt, {0}, password, PasswordRoute::argument, control,
            ArchiveCatalog::memoryCeiling(archive, 2ULL << 30));
}

void runUnzip(const fs::path& archive, const fs::path& destination, const std::optional<std::string>& password,
              const Selection& selection, const RunControl& control)
{
    std::vector<std::string> arguments = {"-o"};
    // unzip reads wildcards in the archive's name too: Report[1].zip would open Report1.zip.
    arguments.push_back(ArchiveEngine::unzipLiteral(archive.string()));
    if (selection.entry) {
        const std::string literal = ArchiveEngine::unzipLiteral(selection.toolEntry());
        arguments.push_back(selection.isDirectory ? literal + "/*" : literal);
    }
    arguments.insert(arguments.end(), {"-d", destination.string()});
    runTool("/usr/bin/unzip", std::move(arguments), std::nullopt, {0, 1}, password, PasswordRoute::terminal, control);
}

// Run as root, bsdtar would also restore set-user-ID bits, access lists, extended attributes and
// file flags, and fail a whole archive where the file system refuses one: unpacked files get plain
// permissions, as they do for any other user.
constexpr std::string_view kPlainPermissions = "--no-same-permissions";

void runTar(ArchiveKind kind, const fs::path& archive, const fs::path& destination, const RarSupport& support,
            const Selection& selection, const RunControl& control)
{
    const auto tar = ToolLocator::systemTar();
    if (!tar && support.unar && !selection.entry) {
        runUnar(*support.unar, archive, destination, std::nullopt, selection, control);
        return;
    }
    const TarTool tool = tar ? *tar : requireSystemTar();
    // Both tars tell the compression by the content; "-z" keeps tar.gz as it always ran. bsdtar's
    // "-v" names each entry ("x NAME"), which the progress counts. Files belong to the user who
    // unpacks them, also when that user is root.
    std::string mode = kind == ArchiveKind::tarGz ? "-xz" : "-x";
    mode += tool.isBsdtar ? "vf" : "f";
    std::vector<std::string> arguments = {mode, archive.string(), "-C", destination.string(), "--no-same-owner"};
    arguments.emplace_back(kPlainPermissions);
    if (!tool.isBsdtar) {
        arguments.push_back("--no-wildcards");
    }
    arguments.push_back("--");
    if (selection.entry) {
        arguments.push_back(tool.isBsdtar ? ArchiveEngine::tarLiteral(selection.toolEntry()) : selection.toolEntry());
    }
    runTool(tool.path, std::move(arguments), std::nullopt, {0}, std::nullopt, PasswordRoute::argument, control);
}

std::optional<fs::path> bsdtarTool()
{
    return ToolLocator::executable("bsdtar");
}

// bsdtar for a ZIP or RAR another tool could not read, and for a ZIP whose names are in a legacy
// encoding. It asks for no password it is not given.
void runBsdtar(const fs::path& tool, const fs::path& archive, const fs::path& destination,
               const std::optional<std::string>& password, const Selection& selection, const RunControl& control)
{
    std::vector<std::string> arguments = {"-xvf", archive.string(), "-C", destination.string(), "--no-same-owner"};
    arguments.emplace_back(kPlainPermissions);
    arguments.push_back("--");
    if (selection.entry) {
        arguments.push_back(ArchiveEngine::tarLiteral(selection.toolEntry()));
    }
    // In a UTF-8 locale libarchive writes names flagged as UTF-8 as they are and the others as
    // their stored bytes, which makeSafe then reads in the archive's encoding; unzip would turn
    // names made on Windows into Latin-1 on its own, and bsdtar in the C locale skips UTF-8 ones.
    std::vector<std::string> environment;
    for (std::string& variable : ProcessRunner::toolEnvironment()) {
        if (!variable.starts_with("LC_ALL=")) {
            environment.push_back(std::move(variable));
        }
    }
    environment.emplace_back("LC_ALL=C.UTF-8");
    runTool(tool, std::move(arguments), std::nullopt, {0}, password, PasswordRoute::standardInput, control,
            std::nullopt, std::move(environment));
}

void run7zz(const fs::path& tool, const fs::path& archive, const fs::path& destination,
            const std::optional<std::string>& password, const Selection& selection, const RunControl& control)
{
    // Given a password, 7-Zip asks for it on standard input when it needs it; without one, a bare
    // "-p" keeps it from asking. "-spd" takes the entry name literally; "-bsp1" reports the
    // percentage done. 7-Zip takes a folder entry with everything below it.
    std::vector<std::string> arguments = {"x", "-y", "-bso1", "-bsp1", "-o" + destination.string()};
    if (!password) {
        arguments.push_back("-p");
    }
    arguments.insert(arguments.end(), {"-spd", "--", archive.string()});
    if (selection.entry) {
        arguments.push_back(selection.toolEntry());
    }
    runTool(tool, std::move(arguments), std::nullopt, {0, 1}, password, PasswordRoute::standardInput, control);
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
    run7zz(*support.sevenZip, archive, destination, password, selection, control);
}

// A ZIP that unzip cannot read (newer compression methods, AES): 7zz, else bsdtar, else unar.
void runZipFallback(const fs::path& archive, const fs::path& destination, const RarSupport& support,
                    const std::optional<std::string>& password, const Selection& selection, const RunControl& control)
{
    if (support.sevenZip && !selection.viaUnar) {
        run7zz(*support.sevenZip, archive, destination, password, selection, control);
    } else if (const auto bsdtar = bsdtarTool(); bsdtar && !selection.viaUnar) {
        runBsdtar(*bsdtar, archive, destination, password, selection, control);
    } else if (support.unar && (!selection.entry || !selection.indexes.empty())) {
        runUnar(*support.unar, archive, destination, password, selection, control);
    } else {
        throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
    }
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
    // A bare "-p" has unrar ask for the password on its terminal; "-p-" keeps it from asking for
    // one it cannot get.
    std::vector<std::string> arguments = {"x", "-y", "-o+", password ? "-p" : "-p-", "--", archive.string()};
    if (selection.entry) {
        arguments.push_back(selection.isDirectory ? selection.toolEntry() + "/*" : selection.toolEntry());
    }
    arguments.push_back(target);
    runTool(tool, std::move(arguments), std::nullopt, {0, 1}, password, PasswordRoute::terminal, control);
}

void runExtraction(ArchiveKind kind, const fs::path& archive, const fs::path& destination, const RarSupport& support,
                   const std::optional<std::string>& password, const Selection& selection, const RunControl& control)
{
    if (kind.isTar()) {
        runTar(kind, archive, destination, support, selection, control);
        return;
    }
    switch (kind) {
    case ArchiveKind::zip:
    case ArchiveKind::jar:
        if (const auto bsdtar = bsdtarTool(); bsdtar && !selection.encoding.empty()) {
            runBsdtar(*bsdtar, archive, destination, password, selection, control);
            return;
        }
        runUnzip(archive, destination, password, selection, control);
        return;
    case ArchiveKind::zipx:
        // Made for the methods unzip lacks: straight to the tools that have them.
        runZipFallback(archive, destination, support, password, selection, control);
        return;
    case ArchiveKind::rar:
        runRar(archive, destination, support, password, selection, control);
        return;
    case ArchiveKind::sevenZip:
        runSevenZip(archive, destination, support, password, selection, control);
        return;
    default:
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
}

// unzip's status for a member packed with a method (or an encryption) it lacks; it extracts the
// others. Its words about it may be far back in a long output, so the status alone decides.
bool unzipLacksMethod(const ArchiveError& failure)
{
    return failure.errorCase() == ArchiveError::Case::toolFailed && failure.tool() == "unzip" && failure.status() == 81;
}

// unar's words when it cannot read what it was given, as opposed to data it read and found damaged
// ("Wrong checksum"), which a second tool that checks less must not be let to hide.
bool unarCannotRead(const ArchiveError& failure)
{
    if (failure.errorCase() != ArchiveError::Case::toolFailed || failure.tool() != "unar") {
        return false;
    }
    const std::string& words = failure.message();
    const bool damaged = words.find("checksum") != std::string::npos || words.find("corrupt") != std::string::npos;
    const bool unread = words.find("Attempted to read more data than was available") != std::string::npos ||
                        words.find("not supported") != std::string::npos ||
                        words.find("Unknown data format") != std::string::npos ||
                        words.find("Couldn't recognize the archive format") != std::string::npos;
    return unread && !damaged;
}

// The second tool for an archive the first could not read, when there is one: 7-Zip's family for a
// ZIP member unzip lacks, bsdtar for a RAR unar failed on. A password failure, a cancel or a launch
// error never gets one: those are the archive's or the user's answer, not the tool's limit.
std::function<void(const fs::path&)> secondTool(ArchiveKind kind, const ArchiveError& failure, const fs::path& archive,
                                                const RarSupport& support, const std::optional<std::string>& password,
                                                const Selection& selection, const RunControl& control)
{
    if ((kind == ArchiveKind::zip || kind == ArchiveKind::jar) && unzipLacksMethod(failure)) {
        return [&](const fs::path& destination) {
            runZipFallback(archive, destination, support, password, selection, control);
        };
    }
    // bsdtar, taken for names in a legacy encoding, lacks methods unzip has (Deflate64, implode):
    // the files then come out through unzip, their names as near the listing's as unzip leaves them.
    if ((kind == ArchiveKind::zip || kind == ArchiveKind::jar) && !selection.encoding.empty() &&
        failure.errorCase() == ArchiveError::Case::toolFailed && failure.tool() == "bsdtar") {
        return [&](const fs::path& destination) { runUnzip(archive, destination, password, selection, control); };
    }
    const auto bsdtar = bsdtarTool();
    if (kind == ArchiveKind::rar && unarCannotRead(failure) && bsdtar) {
        return [&, tool = *bsdtar](const fs::path& destination) {
            runBsdtar(tool, archive, destination, password, selection, control);
        };
    }
    return {};
}

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

// The mode a folder made by the user gets: what their umask leaves of rwxrwxrwx.
fs::perms plainFolderMode()
{
    std::ifstream status("/proc/self/status");
    unsigned mask = 022;
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Umask:")) {
            mask = static_cast<unsigned>(std::stoul(line.substr(6), nullptr, 8));
        }
    }
    return static_cast<fs::perms>(0777U & ~mask);
}

struct SafeResult
{
    int leftOut = 0;        // pipes, sockets and devices
    std::int64_t bytes = 0; // in regular files, each counted once however many names it has
};

// A name that is not UTF-8 gets the name the listing shows for it, read in `encoding`; another
// name that reads the same keeps its place, and this one takes a number. Where the file system
// refuses (a folder stored without write permission), the name stays as it was: the files matter more.
std::string readableOnDisk(int folder, const std::string& name, std::string_view encoding)
{
    const std::string readable = readableName(name, encoding);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const std::string candidate = attempt == 1 ? readable : readable + " (" + std::to_string(attempt) + ")";
        if (::renameat2(folder, name.c_str(), folder, candidate.c_str(), RENAME_NOREPLACE) == 0) {
            return candidate;
        }
        if (errno == EINVAL || errno == ENOSYS) {
            // A file system without RENAME_NOREPLACE (NFS, some FUSE ones); the folder is private,
            // so nothing can appear between the look and the rename.
            struct stat taken
            {};
            if (::fstatat(folder, candidate.c_str(), &taken, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT &&
                ::renameat(folder, name.c_str(), folder, candidate.c_str()) == 0) {
                return candidate;
            }
            errno = EEXIST;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return name;
}

// One folder of makeSafe's walk, read through its descriptor (which it takes over): no path is
// resolved twice, and none through a link. Without `keepLinks`, symbolic links are left out too.
void makeSafeBelow(int folder, const fs::path& shown, SafeResult& result, std::set<std::pair<dev_t, ino_t>>& linked,
                   std::string_view encoding, bool keepLinks)
{
    constexpr mode_t kUnsafe = S_IWGRP | S_IWOTH | S_ISUID | S_ISGID;
    const auto fail = [&](const std::string& name) {
        throw fs::filesystem_error("cannot check what was unpacked", shown / name,
                                   std::error_code(errno, std::generic_category()));
    };
    DIR* const stream = ::fdopendir(folder);
    if (stream == nullptr) {
        ::close(folder);
        fail({});
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> closer(stream, ::closedir);
    // All names first: a renamed entry may come round again in the same reading.
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    for (std::string name : names) {
        if (!isValidUtf8(name)) {
            name = readableOnDisk(folder, name, encoding);
        }
        struct stat info
        {};
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            fail(name);
        }
        if (S_ISLNK(info.st_mode)) {
            if (!keepLinks && ::unlinkat(folder, name.c_str(), 0) != 0) {
                fail(name);
            }
            continue;
        }
        if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
            if (::unlinkat(folder, name.c_str(), 0) != 0) {
                fail(name);
            }
            ++result.leftOut;
            continue;
        }
        if ((info.st_mode & kUnsafe) != 0 &&
            ::fchmodat(folder, name.c_str(), info.st_mode & 07777 & ~kUnsafe, 0) != 0) {
            fail(name);
        }
        if (S_ISREG(info.st_mode)) {
            if (info.st_nlink == 1 || linked.insert({info.st_dev, info.st_ino}).second) {
                result.bytes += info.st_size;
            }
            continue;
        }
        const int below = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (below < 0) {
            if (errno == EACCES) {
                continue; // a folder stored without permission to read it stays as it is
            }
            fail(name);
        }
        makeSafeBelow(below, shown / name, result, linked, encoding, keepLinks);
    }
}

// Makes what a tool unpacked safe to publish: nobody but the owner may change it (group and other
// write bits go, as a umask would take them), set-user-ID and set-group-ID bits go, and pipes,
// sockets and devices are left out: a pipe blocks whoever opens it, a device node opens hardware.
// Tells how many were left out and the bytes in files. The folder is private, so nothing can be swapped meanwhile.
// Names that are not UTF-8 become the names the listing shows (`encoding`: a ZIP's legacy one).
SafeResult makeSafe(const fs::path& folder, std::string_view encoding, bool keepLinks = true)
{
    SafeResult result;
    std::set<std::pair<dev_t, ino_t>> linked;
    const int top = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (top < 0) {
        throw fs::filesystem_error("cannot check what was unpacked", folder,
                                   std::error_code(errno, std::generic_category()));
    }
    makeSafeBelow(top, folder, result, linked, encoding, keepLinks);
    return result;
}

// What an archive's listing says it unpacks to: its files' sizes added up, and its entries.
struct Declared
{
    std::int64_t bytes = 0;
    std::int64_t entries = 0;
};

// The declared size, from a quick listing by Tarvo's own lister where it reads the kind; none when
// it cannot tell. A listing that fails leaves the extraction to fail or succeed on its own.
std::optional<Declared> declaredSize(ArchiveKind kind, const fs::path& archive, const RarSupport& support,
                                     const std::optional<std::string>& password, const RunControl& control)
{
    // Only a ZIP's tools trust what the data inflates to over what it declares: a tar entry is
    // exactly its declared bytes, and 7-Zip decodes a declared size. A ZIP's listing reads only its
    // central directory, where listing a tar.gz would decompress it all a second time.
    const bool canLie = kind == ArchiveKind::zip || kind == ArchiveKind::jar || kind == ArchiveKind::zipx;
    if (!canLie || !support.entryLister) {
        return std::nullopt;
    }
    // Never lsar: it would take a password on its command line, and it is slow on large archives.
    RarSupport quick = support;
    quick.lister.reset();
    Declared declared;
    try {
        ArchiveCatalog::list(archive, password.value_or(""), quick, control.session,
                             [&](const ArchiveEntry& entry, const ArchiveListing::Link*) {
                                 ++declared.entries;
                                 if (!entry.isDirectory && entry.byteSize > 0 &&
                                     declared.bytes <= std::numeric_limits<std::int64_t>::max() - entry.byteSize) {
                                     declared.bytes += entry.byteSize;
                                 }
                             });
    } catch (const ArchiveError& error) {
        if (error.errorCase() == ArchiveError::Case::cancelled) {
            throw;
        }
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return declared;
}

// The declared size, listed beside the extraction rather than before it, so that it costs no time.
// It runs under a session of its own (a session runs one tool at a time), which follows the job's.
class DeclaredListing
{
public:
    DeclaredListing(ArchiveKind kind, const fs::path& archive, const RarSupport& support,
                    const std::optional<std::string>& password, std::shared_ptr<ArchiveSession> job)
        : m_job(std::move(job))
        , m_result(std::async(std::launch::async, [kind, archive, support, password, session = m_own] {
            return declaredSize(kind, archive, support, password, RunControl{session, {}});
        }))
    {}
    ~DeclaredListing()
    {
        m_own->cancel();
        if (m_result.valid()) {
            m_result.wait();
        }
    }
    DeclaredListing(const DeclaredListing&) = delete;
    DeclaredListing& operator=(const DeclaredListing&) = delete;

    // What it told, once it is done; nothing before.
    std::optional<Declared> ifReady()
    {
        follow();
        if (!m_value && m_result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            return std::nullopt;
        }
        return value();
    }

    std::optional<Declared> wait()
    {
        while (!m_value && m_result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
            follow();
        }
        return value();
    }

private:
    void follow()
    {
        if (m_job && m_job->isCancelled()) {
            m_own->cancel();
        }
    }

    std::optional<Declared> value()
    {
        if (!m_value) {
            try {
                m_value = m_result.get();
            } catch (...) {
                m_value = std::optional<Declared>();
            }
        }
        return *m_value;
    }

    std::shared_ptr<ArchiveSession> m_job;
    std::shared_ptr<ArchiveSession> m_own = std::make_shared<ArchiveSession>();
    std::future<std::optional<Declared>> m_result;
    std::optional<std::optional<Declared>> m_value;
};

// Keeps an extraction from filling its file system: it may not take the free space below a reserve
// of 1 GiB, or 5 % of a smaller file system, nor below half of what was free when it began.
class SpaceGuard
{
public:
    // `declared`: what the archive's listing says it unpacks to, when known. Writing far more than
    // that stops the tool as well.
    explicit SpaceGuard(const fs::path& folder, std::shared_ptr<DeclaredListing> declared = {})
        : m_folder(folder)
        , m_declared(std::move(declared))
    {
        struct statvfs info
        {};
        if (::statvfs(folder.c_str(), &info) == 0) {
            const std::uint64_t size = static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize;
            const std::uint64_t reserve = std::min<std::uint64_t>(1ULL << 30, size / 20);
            m_start = available().value_or(0);
            m_floor = std::min(reserve, m_start / 2);
        }
    }

    bool exhausted() const
    {
        const auto free = available();
        return free && *free < m_floor;
    }

    void check() const
    {
        if (exhausted()) {
            throw ArchiveError(ArchiveError::Case::notEnoughSpace);
        }
        // Disk use is more than the bytes (a block per small file, the folders), and others may
        // write to the same file system meanwhile: only far more than declared stops the tool.
        if (const std::optional<Declared> declared = m_declared ? m_declared->ifReady() : std::nullopt) {
            const auto used = m_start - std::min(m_start, available().value_or(m_start));
            const auto allowed = static_cast<std::uint64_t>(declared->bytes) + (64ULL << 20) +
                                 static_cast<std::uint64_t>(declared->bytes / 8) +
                                 static_cast<std::uint64_t>(declared->entries) * 8192;
            if (used > allowed) {
                throw ArchiveError(ArchiveError::Case::unpacksBeyondDeclared);
            }
        }
    }

    // A copy of `control` whose tools are stopped when the guard says so.
    RunControl guarding(const RunControl& control) const
    {
        RunControl guarded = control;
        guarded.watch = [guard = *this, outer = control.watch] {
            guard.check();
            if (outer) {
                outer();
            }
        };
        return guarded;
    }

private:
    std::optional<std::uint64_t> available() const
    {
        struct statvfs info
        {};
        if (::statvfs(m_folder.c_str(), &info) != 0) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    }

    fs::path m_folder;
    std::shared_ptr<DeclaredListing> m_declared;
    std::uint64_t m_start = 0;
    std::uint64_t m_floor = 0;
};

void reportLeftOut(const RunControl& control, int leftOut)
{
    if (leftOut > 0 && control.onLeftOut) {
        control.onLeftOut(leftOut);
    }
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

} // namespace

void checkArchive(const fs::path& archive)
{
    std::error_code error;
    const fs::file_status status = fs::status(archive, error);
    if (!fs::exists(status)) {
        throw fs::filesystem_error("cannot open the archive", archive,
                                   error ? error : std::make_error_code(std::errc::no_such_file_or_directory));
    }
    // A folder, a pipe, a socket or a device: no tool is handed it. A pipe would keep a tool, or
    // Tarvo, waiting for ever; a device would be read to its end.
    if (!fs::is_regular_file(status)) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
}

namespace {

// Runs the extraction into a fresh hidden folder beside the archive, and once more into another
// with a second tool when the first could not read the archive: the folder that holds the result.
// Nothing is left behind on a failure, and the failure does not speak of the hidden folder.
fs::path unpack(ArchiveKind kind, const fs::path& archive, const fs::path& parent, const std::string& base,
                const RarSupport& support, const std::optional<std::string>& password, const Selection& selection,
                const RunControl& control, std::shared_ptr<DeclaredListing> declared = {})
{
    const fs::path shown = NameFactory::uniqueDirectory(parent, base);
    fs::path working = makeWorkingFolder(parent, shown);
    const SpaceGuard space(parent, declared);
    const RunControl guarded = space.guarding(control);
    const ArchiveError full(ArchiveError::Case::notEnoughSpace);
    std::optional<ArchiveError> first;
    try {
        runExtraction(kind, archive, working, support, password, selection, guarded);
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
    const auto second = secondTool(kind, *first, archive, support, password, selection, guarded);
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
        const bool keepFirst = kind == ArchiveKind::rar && again.errorCase() == ArchiveError::Case::toolFailed;
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
    const std::string type = kind == ArchiveKind::gzip    ? "gzip"
                             : kind == ArchiveKind::xz    ? "xz"
                             : kind == ArchiveKind::bzip2 ? "bzip2"
                                                          : "zstd";
    ToolRun run;
    if (const auto native = ToolLocator::executable(type)) {
        run.executable = *native;
        run.arguments = {"-d", "-c", "--", archive.string()};
    } else if (support.sevenZip) {
        run.executable = *support.sevenZip;
        // One compressed file holds no password; a bare "-p" keeps 7-Zip from asking for one.
        run.arguments = {"e", "-so", "-t" + type, "-p", "--", archive.string()};
    } else if (support.unar) {
        run.executable = *support.unar;
        run.arguments = {"-output-directory", "-", "--", archive.string()};
    } else {
        throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
    }
    const fs::path working = parent / (".tarvo-" + makeUuid());
    run.standardOutputFile = working;
    run.session = control.session;
    const SpaceGuard space(parent);
    run.watch = [&space] { space.check(); };
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
        fs::permissions(working, fs::status(archive).permissions() & kKept);
        const std::string stem = ArchiveNames::stem(archive);
        const std::string extension = pathExtension(stem);
        return publish(working, parent, extension.empty() ? stem : deletingPathExtension(stem), extension);
    } catch (...) {
        removeTree(working);
        throw;
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

ArchiveKind requireKind(const fs::path& archive)
{
    const auto kind = ArchiveKind::from(archive);
    if (!kind) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    return *kind;
}

fs::path ArchiveEngine::extract(const fs::path& archive, const RarSupport& support,
                                const std::optional<std::string>& password, const RunControl& control,
                                std::string_view encoding)
{
    const ArchiveKind kind = requireKind(archive);
    const std::optional<std::string> secret = normalized(password);
    const fs::path path = cleanPath(archive);
    checkArchive(path);
    if (kind.isSingleFile()) {
        return decompress(kind, path, path.parent_path(), support, control);
    }
    const fs::path parent = path.parent_path();
    const std::string base = ArchiveNames::stem(path);
    const auto listing = std::make_shared<DeclaredListing>(kind, path, support, secret, control.session);
    Selection all;
    all.encoding = ArchiveCatalog::nameEncoding(path, support, encoding, control.session);
    const fs::path working = unpack(kind, path, parent, base, support, secret, all, control, listing);
    try {
        const SafeResult safe = makeSafe(working, all.encoding);
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
        fs::permissions(working, plainFolderMode());
        const fs::path result = publish(working, parent, base);
        reportLeftOut(control, leftOut);
        return result;
    } catch (...) {
        removeTree(working);
        throw;
    }
}

namespace {

// extractEntry and extractEntryInto: the new folder goes into `directory`, or beside the archive.
fs::path extractEntryIn(const fs::path& archive, std::string_view entryPath, const std::optional<fs::path>& directory,
                        const RarSupport& support, const std::optional<std::string>& password,
                        const RunControl& control, std::optional<bool> isDirectory, std::string_view encoding)
{
    const ArchiveKind kind = requireKind(archive);
    const auto entry = ArchiveNames::safeEntry(entryPath);
    if (!entry) {
        throw ArchiveError(ArchiveError::Case::entryCannotBeExtracted);
    }
    const std::optional<std::string> secret = ArchiveEngine::normalized(password);
    const fs::path path = cleanPath(archive);
    checkArchive(path);
    const fs::path parent = directory ? cleanPath(*directory) : path.parent_path();
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
                   (kind == ArchiveKind::zipx && !support.sevenZip && !bsdtarTool()) ||
                   (kind == ArchiveKind::rar && support.extractor && isUnar(*support.extractor));
    const bool rarMayNeedUnar = kind == ArchiveKind::rar && support.unar && !viaUnar;
    if (rarMayNeedUnar && unrarCannotQuote(path, *entry)) {
        viaUnar = true;
    }
    selection.encoding = ArchiveCatalog::nameEncoding(path, support, encoding, control.session);
    // Names in a legacy encoding, or bytes shown as "%xx", are stored otherwise than shown.
    const bool storedOtherwise = !selection.encoding.empty() || entry->find('%') != std::string::npos;
    const bool needListing = viaUnar || rarMayNeedUnar || (zipFamily && isDirectory != false) ||
                             (kind == ArchiveKind::rar && !isDirectory) || storedOtherwise;
    // Only lsar knows unar's numbers; everything else Tarvo's own lister tells as well.
    const bool needNumbers = viaUnar || rarMayNeedUnar;
    if (needListing && (support.lister || (support.entryLister && !needNumbers))) {
        readListing(selection, ArchiveCatalog::list(path, secret.value_or(""), support, control.session, needNumbers,
                                                    selection.encoding));
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
            fs::permissions(working, plainFolderMode());
            return publish(working, parent, base) / *entry;
        } catch (...) {
            removeTree(working);
            throw;
        }
    }
    const fs::path working = unpack(kind, path, parent, base, support, secret, selection, control);
    try {
        // What is dragged out goes to another program, which would read through a link to wherever
        // it points (a link named invoice.pdf to ~/.ssh/id_rsa, say): links are left out there.
        const int leftOut = makeSafe(working, selection.encoding, !directory).leftOut;
        // A tool may end well without writing the entry (7zz with a name that matches nothing), or
        // it was a pipe, a device or, dragged out, a link.
        std::error_code error;
        if (!fs::exists(fs::symlink_status(working / *entry, error))) {
            throw cannotExtract;
        }
        fs::permissions(working, plainFolderMode());
        const fs::path result = publish(working, parent, base) / *entry;
        reportLeftOut(control, leftOut);
        return result;
    } catch (...) {
        removeTree(working);
        throw;
    }
}

} // namespace

fs::path ArchiveEngine::extractEntry(const fs::path& archive, std::string_view entryPath, const RarSupport& support,
                                     const std::optional<std::string>& password, const RunControl& control,
                                     std::optional<bool> isDirectory, std::string_view encoding)
{
    return extractEntryIn(archive, entryPath, std::nullopt, support, password, control, isDirectory, encoding);
}

fs::path ArchiveEngine::extractEntryInto(const fs::path& archive, std::string_view entryPath, const fs::path& directory,
                                         const RarSupport& support, const std::optional<std::string>& password,
                                         const RunControl& control, std::optional<bool> isDirectory,
                                         std::string_view encoding)
{
    return extractEntryIn(archive, entryPath, directory, support, password, control, isDirectory, encoding);
}

} // namespace tarvo::engine
