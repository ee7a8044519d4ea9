// SPDX-License-Identifier: GPL-3.0-or-later

#include "ExtractionRoutes.h"

#include "JobTools.h"
#include "SplitSet.h"
#include "engine/adapters/InfoZip.h"
#include "engine/adapters/Rarlab.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/adapters/Unar.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/ToolLocator.h"

#include <algorithm>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

ExtractCommand commandFor(const Unpacking& unpacking, const fs::path& destination,
                          const std::optional<std::string>& password)
{
    ExtractCommand command{unpacking.archive, destination, {}, {}, password};
    for (const Selection::Chosen& chosen : unpacking.selection.entries) {
        command.entries.push_back({chosen.toolEntry(), chosen.isDirectory});
        command.indexes.insert(command.indexes.end(), chosen.indexes.begin(), chosen.indexes.end());
    }
    return command;
}

// A tool's command line has room for some thousands of names: a longer selection goes in parts,
// each into the same folder.
void inParts(const Unpacking& unpacking, const std::function<void(const Unpacking&)>& run)
{
    constexpr std::size_t kNameBytes = 64 * 1024;
    const auto& all = unpacking.selection.entries;
    if (all.empty()) {
        run(unpacking);
        return;
    }
    Unpacking part = unpacking;
    for (std::size_t first = 0; first < all.size();) {
        std::size_t bytes = 0;
        std::size_t end = first;
        while (end < all.size() && (end == first || bytes + all[end].toolEntry().size() < kNameBytes)) {
            bytes += all[end].toolEntry().size() + 8 * all[end].indexes.size();
            ++end;
        }
        part.selection.entries.assign(all.begin() + static_cast<std::ptrdiff_t>(first),
                                      all.begin() + static_cast<std::ptrdiff_t>(end));
        run(part);
        first = end;
    }
}

void runUnar(const fs::path& unar, const Unpacking& unpacking, const fs::path& destination,
             const std::optional<std::string>& password, const RunControl& control)
{
    runTool(Unar::extract(unar, commandFor(unpacking, destination, password)), control);
}

void run7zz(const fs::path& sevenZip, const Unpacking& unpacking, const fs::path& destination,
            const RunControl& control);

// A password unzip's terminal refuses goes to 7-Zip's standard input instead.
void runUnzip(const Unpacking& unpacking, const fs::path& destination, const RunControl& control)
{
    if (unpacking.password && !InfoZip::takesPassword(*unpacking.password)) {
        if (!unpacking.tools.sevenZip || unpacking.selection.viaUnar) {
            throw ArchiveError(ArchiveError::Case::zipPasswordTooLong);
        }
        run7zz(*unpacking.tools.sevenZip, unpacking, destination, control);
        return;
    }
    runTool(InfoZip::extract(commandFor(unpacking, destination, unpacking.password)), control);
}

// bsdtar for a ZIP or RAR another tool could not read, and for a ZIP whose names are in a legacy
// encoding.
void runBsdtar(const fs::path& bsdtar, const Unpacking& unpacking, const fs::path& destination,
               const RunControl& control)
{
    runTool(Tar::extractOther(bsdtar, commandFor(unpacking, destination, unpacking.password)), control);
}

void run7zz(const fs::path& sevenZip, const Unpacking& unpacking, const fs::path& destination,
            const RunControl& control)
{
    runTool(SevenZip::extract(sevenZip, commandFor(unpacking, destination, unpacking.password)), control);
}

void runTar(const Unpacking& unpacking, const fs::path& destination, const RunControl& control)
{
    const auto tar = ToolLocator::systemTar();
    if (!tar && unpacking.tools.unar && unpacking.selection.everything()) {
        runUnar(*unpacking.tools.unar, unpacking, destination, std::nullopt, control);
        return;
    }
    const TarTool tool = tar ? *tar : requireSystemTar();
    runTool(Tar::extract(tool, unpacking.kind, commandFor(unpacking, destination, std::nullopt)), control);
}

void runSevenZip(const Unpacking& unpacking, const fs::path& destination, const RunControl& control)
{
    if (!unpacking.tools.sevenZip || unpacking.selection.viaUnar) {
        if (!unpacking.tools.unar) {
            throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
        }
        runUnar(*unpacking.tools.unar, unpacking, destination, unpacking.password, control);
        return;
    }
    run7zz(*unpacking.tools.sevenZip, unpacking, destination, control);
}

// A ZIP that unzip cannot read (newer compression methods, AES): 7zz, else bsdtar, else unar.
void runZipFallback(const Unpacking& unpacking, const fs::path& destination, const RunControl& control)
{
    const Selection& selection = unpacking.selection;
    if (unpacking.tools.sevenZip && !selection.viaUnar) {
        run7zz(*unpacking.tools.sevenZip, unpacking, destination, control);
    } else if (const auto bsdtar = ExtractionRoutes::bsdtar(); bsdtar && !selection.viaUnar) {
        runBsdtar(*bsdtar, unpacking, destination, control);
    } else if (unpacking.tools.unar && selection.numbered()) {
        runUnar(*unpacking.tools.unar, unpacking, destination, unpacking.password, control);
    } else {
        throw ArchiveError(ArchiveError::Case::sevenZipUnavailable);
    }
}

void runRar(const Unpacking& unpacking, const fs::path& destination, const RunControl& control)
{
    const RarSupport& tools = unpacking.tools;
    if (!tools.extractor) {
        throw ArchiveError(ArchiveError::Case::extractorUnavailable);
    }
    const bool byUnar = ExtractionRoutes::rarByUnar(tools);
    const auto& chosen = unpacking.selection.entries;
    const bool awkward = Rarlab::cannotQuote(unpacking.archive, std::nullopt) ||
                         std::any_of(chosen.begin(), chosen.end(), [&](const Selection::Chosen& one) {
                             return Rarlab::cannotQuote(unpacking.archive, one.toolEntry());
                         });
    if (byUnar || unpacking.selection.viaUnar || (awkward && tools.unar && chosen.empty())) {
        runUnar(byUnar ? *tools.extractor : *tools.unar, unpacking, destination, unpacking.password, control);
        return;
    }
    if (awkward) {
        throw ArchiveError::toolFailed(tools.extractor->filename().string(), 1,
                                       L10n::text(Text::pathCannotBeExtracted));
    }
    runTool(Rarlab::extract(*tools.extractor, commandFor(unpacking, destination, unpacking.password)), control);
}

// The first tool for the archive.
void runFirst(const Unpacking& unpacking, const fs::path& destination, const RunControl& control)
{
    if (unpacking.kind.isTar()) {
        runTar(unpacking, destination, control);
        return;
    }
    switch (unpacking.kind) {
    case ArchiveKind::zip:
    case ArchiveKind::jar:
        // unzip reads no ZIP cut into parts.
        if (SplitSet::of(unpacking.archive)) {
            runZipFallback(unpacking, destination, control);
            return;
        }
        if (const auto tool = ExtractionRoutes::bsdtar(); tool && !unpacking.selection.encoding.empty()) {
            runBsdtar(*tool, unpacking, destination, control);
            return;
        }
        runUnzip(unpacking, destination, control);
        return;
    case ArchiveKind::zipx:
        // Made for the methods unzip lacks: straight to the tools that have them.
        runZipFallback(unpacking, destination, control);
        return;
    case ArchiveKind::rar:
        runRar(unpacking, destination, control);
        return;
    case ArchiveKind::sevenZip:
        runSevenZip(unpacking, destination, control);
        return;
    default:
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
}

} // namespace

bool Selection::numbered() const
{
    return std::all_of(entries.begin(), entries.end(), [](const Chosen& chosen) { return !chosen.indexes.empty(); });
}

bool ExtractionRoutes::rarByUnar(const RarSupport& tools)
{
    // The locator takes unar as the extractor when it finds no unrar.
    return tools.extractor && tools.extractor == tools.unar;
}

std::optional<fs::path> ExtractionRoutes::bsdtar()
{
    return ToolLocator::executable("bsdtar");
}

void ExtractionRoutes::run(const Unpacking& whole, const fs::path& destination, const RunControl& control)
{
    inParts(whole, [&](const Unpacking& unpacking) { runFirst(unpacking, destination, control); });
}

ExtractionRoutes::Route ExtractionRoutes::second(const Unpacking& unpacking, const ArchiveError& failure,
                                                 const RunControl& control)
{
    const bool zipFamily = unpacking.kind == ArchiveKind::zip || unpacking.kind == ArchiveKind::jar;
    if (zipFamily && InfoZip::lacksMethod(failure)) {
        return [&](const fs::path& destination) {
            inParts(unpacking, [&](const Unpacking& part) { runZipFallback(part, destination, control); });
        };
    }
    // bsdtar, taken for names in a legacy encoding, lacks methods unzip has (Deflate64, implode):
    // the files then come out through unzip, their names as near the listing's as unzip leaves them.
    if (zipFamily && !unpacking.selection.encoding.empty() && failure.errorCase() == ArchiveError::Case::toolFailed &&
        failure.tool() == "bsdtar") {
        return [&](const fs::path& destination) {
            inParts(unpacking, [&](const Unpacking& part) { runUnzip(part, destination, control); });
        };
    }
    const auto tool = bsdtar();
    if (unpacking.kind == ArchiveKind::rar && Unar::cannotRead(failure) && tool) {
        return [&, tool = *tool](const fs::path& destination) {
            inParts(unpacking, [&](const Unpacking& part) { runBsdtar(tool, part, destination, control); });
        };
    }
    return {};
}

} // namespace tarvo::engine
