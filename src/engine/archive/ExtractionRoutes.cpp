#include "ExtractionRoutes.h"

#include "JobTools.h"
#include "engine/adapters/InfoZip.h"
#include "engine/adapters/Rarlab.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/adapters/Unar.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/ToolLocator.h"

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

ExtractCommand commandFor(const Unpacking& unpacking, const fs::path& destination,
                          const std::optional<std::string>& password)
{
    const Selection& selection = unpacking.selection;
    ExtractCommand command{unpacking.archive,     destination,       std::nullopt,
                           selection.isDirectory, selection.indexes, password};
    if (selection.entry) {
        command.entry = selection.toolEntry();
    }
    return command;
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
    if (!tar && unpacking.tools.unar && !unpacking.selection.entry) {
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
    } else if (unpacking.tools.unar && (!selection.entry || !selection.indexes.empty())) {
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
    const bool awkward = Rarlab::cannotQuote(unpacking.archive, unpacking.selection.entry);
    if (byUnar || unpacking.selection.viaUnar || (awkward && tools.unar && !unpacking.selection.entry)) {
        runUnar(byUnar ? *tools.extractor : *tools.unar, unpacking, destination, unpacking.password, control);
        return;
    }
    if (awkward) {
        throw ArchiveError::toolFailed(tools.extractor->filename().string(), 1,
                                       L10n::text(Text::pathCannotBeExtracted));
    }
    runTool(Rarlab::extract(*tools.extractor, commandFor(unpacking, destination, unpacking.password)), control);
}

} // namespace

bool ExtractionRoutes::rarByUnar(const RarSupport& tools)
{
    // The locator takes unar as the extractor when it finds no unrar.
    return tools.extractor && tools.extractor == tools.unar;
}

std::optional<fs::path> ExtractionRoutes::bsdtar()
{
    return ToolLocator::executable("bsdtar");
}

void ExtractionRoutes::run(const Unpacking& unpacking, const fs::path& destination, const RunControl& control)
{
    if (unpacking.kind.isTar()) {
        runTar(unpacking, destination, control);
        return;
    }
    switch (unpacking.kind) {
    case ArchiveKind::zip:
    case ArchiveKind::jar:
        if (const auto tool = bsdtar(); tool && !unpacking.selection.encoding.empty()) {
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

ExtractionRoutes::Route ExtractionRoutes::second(const Unpacking& unpacking, const ArchiveError& failure,
                                                 const RunControl& control)
{
    const bool zipFamily = unpacking.kind == ArchiveKind::zip || unpacking.kind == ArchiveKind::jar;
    if (zipFamily && InfoZip::lacksMethod(failure)) {
        return [&](const fs::path& destination) { runZipFallback(unpacking, destination, control); };
    }
    // bsdtar, taken for names in a legacy encoding, lacks methods unzip has (Deflate64, implode):
    // the files then come out through unzip, their names as near the listing's as unzip leaves them.
    if (zipFamily && !unpacking.selection.encoding.empty() && failure.errorCase() == ArchiveError::Case::toolFailed &&
        failure.tool() == "bsdtar") {
        return [&](const fs::path& destination) { runUnzip(unpacking, destination, control); };
    }
    const auto tool = bsdtar();
    if (unpacking.kind == ArchiveKind::rar && Unar::cannotRead(failure) && tool) {
        return [&, tool = *tool](const fs::path& destination) { runBsdtar(tool, unpacking, destination, control); };
    }
    return {};
}

} // namespace tarvo::engine
