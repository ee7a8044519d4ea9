// Creating archives: the shared steps and the four formats' command lines.
#include "ArchiveEngine.h"
#include "JobTools.h"
#include "engine/util/FileSystem.h"
#include "engine/util/PathText.h"
#include "engine/util/TextUtil.h"
#include "engine/util/Uuid.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveNames.h"
#include "engine/vocabulary/NameFactory.h"

#include <algorithm>
#include <set>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHousekeeping[] = {
    ".DS_Store", "__MACOSX", ".AppleDouble", ".Spotlight-V100", ".Trashes", ".fseventsd",
};

// zip matches its patterns against whole stored paths: ".AppleDouble" folders need their members
// named too.
constexpr std::string_view kZipJunkGlobs[] = {
    "*.DS_Store", "*__MACOSX*", "*.AppleDouble", "*.AppleDouble/*", "*.Spotlight-V100*", "*.Trashes*", "*.fseventsd*",
};

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
// written, `destination`, and removed afterwards.
template <typename Body>
void inWorkingFolder(const std::vector<fs::path>& sources, const fs::path& destination, bool forceStaging,
                     const std::shared_ptr<ArchiveSession>& session, Body&& body)
{
    std::vector<fs::path> clean;
    clean.reserve(sources.size());
    for (const auto& source : sources) {
        clean.push_back(cleanPath(source));
    }
    const bool oneFolder = std::all_of(clean.begin(), clean.end(), [&](const fs::path& source) {
        return source.parent_path() == clean.front().parent_path();
    });
    if (oneFolder && !forceStaging) {
        std::vector<std::string> names;
        for (const auto& source : clean) {
            names.push_back(source.filename().string());
        }
        body(clean.front().parent_path(), names);
        return;
    }
    const StagedItems staged = stageItems(clean, destination.parent_path(), session);
    try {
        body(staged.folder, staged.names);
    } catch (...) {
        removeTree(staged.folder);
        throw;
    }
    removeTree(staged.folder);
}

} // namespace

bool ArchiveEngine::isHousekeeping(std::string_view name)
{
    return std::find(std::begin(kHousekeeping), std::end(kHousekeeping), name) != std::end(kHousekeeping);
}

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

void ArchiveEngine::validate(const fs::path& destination, const std::vector<fs::path>& sources)
{
    const std::string target = cleanPath(destination).native();
    for (const auto& source : sources) {
        std::error_code error;
        if (!fs::is_directory(source, error)) {
            continue;
        }
        const std::string folder = cleanPath(source).native();
        if (target == folder || target.starts_with(folder == "/" ? folder : folder + "/")) {
            throw ArchiveError(ArchiveError::Case::destinationInsideSource);
        }
    }
}

fs::path ArchiveEngine::stage(const std::vector<fs::path>& sources, const fs::path& directory,
                              const std::shared_ptr<ArchiveSession>& session)
{
    return stageItems(sources, directory, session).folder;
}

std::vector<std::string> ArchiveEngine::zipArguments(const fs::path& destination, const std::vector<std::string>& names,
                                                     const std::optional<std::string>& password, CompressionLevel level,
                                                     bool skipJunk)
{
    std::vector<std::string> arguments = {"-r", "-y", std::string(level.zipSwitch())};
    if (password) {
        arguments.push_back("-e"); // asks for the password on the terminal, twice
    }
    arguments.push_back(destination.string());
    // The exclusion list comes before "--": after it, "-x" would be a file name. zip takes an
    // existing name literally, so the names need no quoting.
    if (skipJunk) {
        arguments.push_back("-x");
        arguments.insert(arguments.end(), std::begin(kZipJunkGlobs), std::end(kZipJunkGlobs));
    }
    arguments.push_back("--");
    arguments.insert(arguments.end(), names.begin(), names.end());
    return arguments;
}

std::vector<std::string> ArchiveEngine::tarArguments(const fs::path& destination, const std::vector<std::string>& names,
                                                     CompressionLevel level, bool skipJunk, const TarTool& tar)
{
    const bool bsdtar = tar.isBsdtar;
    const std::string gzipLevel = std::to_string(level.gzipLevel());
    std::vector<std::string> arguments;
    if (tar.parallelGzip) {
        // The same gzip format, compressed on every core. tar starts the program itself (no shell).
        // Blocks of 1 MiB instead of 128 KiB: fewer hand-overs between the threads, a little faster.
        const std::string program = tar.parallelGzip->string() + " -" + gzipLevel + " -b 1024";
        arguments = bsdtar ? std::vector<std::string>{"-cvf", destination.string(), "--use-compress-program", program}
                           : std::vector<std::string>{"-cf", destination.string(), "-I", program};
    } else if (bsdtar) {
        // "-v" names each entry on standard error ("a NAME"), which the progress counts.
        arguments = {"-czvf", destination.string(), "--options", "gzip:compression-level=" + gzipLevel};
    } else {
        arguments = {"-cf", destination.string(), "-I", "gzip -" + gzipLevel};
    }
    if (skipJunk) {
        for (std::string_view name : kHousekeeping) {
            arguments.insert(arguments.end(), {"--exclude", std::string(name)});
        }
    }
    arguments.push_back("--");
    for (const std::string& name : names) {
        // bsdtar reads "@name" as another archive to copy in.
        arguments.push_back(bsdtar && name.starts_with('@') ? "./" + name : name);
    }
    return arguments;
}

std::vector<std::string> ArchiveEngine::rarArguments(const fs::path& destination, const std::vector<std::string>& names,
                                                     const std::optional<std::string>& password, CompressionLevel level,
                                                     bool skipJunk)
{
    // "-ol" stores links as links, as zip -y and tar do, instead of what they point to.
    std::vector<std::string> arguments = {"a", "-r", "-y", "-ol", std::string(level.rarSwitch())};
    if (password) {
        arguments.push_back("-hp"); // asks for the password on the terminal, twice
    }
    if (skipJunk) {
        arguments.insert(arguments.end(), {"-x*.DS_Store", "-x__MACOSX", "-x.AppleDouble", "-x.Spotlight-V100",
                                           "-x.Trashes", "-x.fseventsd"});
    }
    arguments.push_back(destination.string());
    arguments.push_back("--");
    arguments.insert(arguments.end(), names.begin(), names.end());
    return arguments;
}

std::vector<std::string> ArchiveEngine::sevenZipArguments(const fs::path& destination,
                                                          const std::vector<std::string>& names,
                                                          const std::optional<std::string>& password,
                                                          CompressionLevel level, bool skipJunk)
{
    // "-snl" stores links as links (7-Zip would otherwise pack what they point to, even outside the
    // items); "-spd" takes names literally instead of as wildcards.
    // "-bsp1" reports the percentage done on standard output.
    std::vector<std::string> arguments = {
        "a", "-y", "-bso1", "-bsp1", "-snl", "-spd", std::string(level.sevenZipSwitch())};
    if (password) {
        arguments.push_back("-p"); // reads the password from standard input
        arguments.push_back("-mhe=on");
    }
    if (skipJunk) {
        for (std::string_view name : kHousekeeping) {
            arguments.push_back("-xr!" + std::string(name));
        }
    }
    arguments.push_back(destination.string());
    arguments.push_back("--");
    arguments.insert(arguments.end(), names.begin(), names.end());
    return arguments;
}

void ArchiveEngine::compressZip(const std::vector<fs::path>& sources, const fs::path& destination,
                                const std::optional<std::string>& password, CompressionLevel level, bool skipJunk,
                                const RunControl& control)
{
    // zip writes the archive as "ziXXXXXX" first, beside it unless told otherwise. Killed before
    // its signal handler runs, it leaves that file behind: here in a folder of Tarvo's own, which
    // goes whatever happens. It is on the same file system, so zip renames rather than copies.
    const fs::path scratch = makePrivateFolder(destination.parent_path(), ".tarvo-");
    try {
        inWorkingFolder(sources, destination, false, control.session,
                        [&](const fs::path& folder, const std::vector<std::string>& names) {
                            std::vector<std::string> arguments =
                                zipArguments(destination, names, password, level, skipJunk);
                            arguments.insert(arguments.begin(), {"-b", scratch.string()});
                            try {
                                runTool("/usr/bin/zip", std::move(arguments), folder, {0, 1}, password,
                                        PasswordRoute::newOnTerminal, control);
                            } catch (const ArchiveError& error) {
                                // "zip error: Nothing to do!": every item was left out or vanished.
                                if (error.errorCase() == ArchiveError::Case::toolFailed && error.status() == 12) {
                                    throw ArchiveError(ArchiveError::Case::noInputs);
                                }
                                throw;
                            }
                        });
    } catch (...) {
        removeTree(scratch);
        throw;
    }
    removeTree(scratch);
}

void ArchiveEngine::compressTarGz(const std::vector<fs::path>& sources, const fs::path& destination,
                                  CompressionLevel level, bool skipJunk, const RunControl& control)
{
    const TarTool tar = requireSystemTar();
    inWorkingFolder(sources, destination, false, control.session,
                    [&](const fs::path& folder, const std::vector<std::string>& names) {
                        runTool(tar.path, tarArguments(destination, names, level, skipJunk, tar), folder, {0},
                                std::nullopt, PasswordRoute::argument, control);
                    });
}

void ArchiveEngine::compressRar(const std::vector<fs::path>& sources, const fs::path& destination, const fs::path& tool,
                                const std::optional<std::string>& password, CompressionLevel level, bool skipJunk,
                                const RunControl& control)
{
    // With "-r" rar adds every file of a given name from all subfolders too, and it reads "*" and
    // "?" in names as wildcards with no way to quote them. In a staging folder that holds only the
    // chosen items, neither can pick up anything else.
    inWorkingFolder(sources, destination, true, control.session,
                    [&](const fs::path& folder, const std::vector<std::string>& names) {
                        runTool(tool, rarArguments(destination, names, password, level, skipJunk), folder, {0, 1},
                                password, PasswordRoute::newOnTerminal, control);
                    });
}

void ArchiveEngine::compressSevenZip(const std::vector<fs::path>& sources, const fs::path& destination,
                                     const fs::path& tool, const std::optional<std::string>& password,
                                     CompressionLevel level, bool skipJunk, const RunControl& control)
{
    inWorkingFolder(sources, destination, false, control.session,
                    [&](const fs::path& folder, const std::vector<std::string>& names) {
                        runTool(tool, sevenZipArguments(destination, names, password, level, skipJunk), folder, {0, 1},
                                password, PasswordRoute::standardInput, control);
                    });
}

fs::path ArchiveEngine::compress(const CompressRequest& request)
{
    std::vector<fs::path> sources;
    for (const auto& item : request.items) {
        std::error_code error;
        if (fs::exists(item, error)) {
            sources.push_back(cleanPath(item));
        }
    }
    // Nothing but housekeeping files left out on request is nothing to archive, not a tool error.
    const bool onlyJunk = request.skipJunk && std::all_of(sources.begin(), sources.end(), [](const fs::path& source) {
                              return isHousekeeping(source.filename().string());
                          });
    if (sources.empty() || onlyJunk) {
        throw ArchiveError(ArchiveError::Case::noInputs);
    }
    const std::optional<std::string> password = normalized(request.password);

    const std::string base = ArchiveNames::archiveBase(request.name, sources);
    const fs::path directory = cleanPath(request.directory);
    const std::string extension(request.format.rawValue());
    const fs::path destination = NameFactory::uniqueFile(directory, base, extension);
    validate(destination, sources);

    if (request.format == ArchiveFormat::rar && !request.tools.creator) {
        throw ArchiveError(ArchiveError::Case::rarUnavailable);
    }
    if (request.format == ArchiveFormat::sevenZip && !request.tools.sevenZip) {
        throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
    }
    if (const std::error_code error = folderWriteError(directory)) {
        throw fs::filesystem_error("cannot write the archive", destination, error);
    }

    // The tool writes under a hidden name; the archive takes its real name only when complete.
    const fs::path working = directory / (".tarvo-" + makeUuid() + "." + extension);
    try {
        switch (request.format) {
        case ArchiveFormat::zip:
            compressZip(sources, working, password, request.level, request.skipJunk, request.control);
            break;
        case ArchiveFormat::tarGz:
            compressTarGz(sources, working, request.level, request.skipJunk, request.control);
            break;
        case ArchiveFormat::rar:
            compressRar(sources, working, *request.tools.creator, password, request.level, request.skipJunk,
                        request.control);
            break;
        case ArchiveFormat::sevenZip:
            compressSevenZip(sources, working, *request.tools.sevenZip, password, request.level, request.skipJunk,
                             request.control);
            break;
        }
        if (!fs::exists(fs::symlink_status(working))) {
            throw ArchiveError(ArchiveError::Case::noInputs);
        }
        // Someone may have taken the name meanwhile: never replace their file, take the next name.
        return publish(working, directory, base, extension);
    } catch (...) {
        removeTree(working);
        throw;
    }
}

} // namespace tarvo::engine
