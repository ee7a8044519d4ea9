// SPDX-License-Identifier: GPL-3.0-or-later

#include "ArchiveCatalog.h"
#include "ArchiveEngine.h"
#include "JobTools.h"
#include "SplitSet.h"
#include "engine/adapters/InfoZip.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/adapters/Unar.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/util/TextUtil.h"
#include "engine/vocabulary/ArchiveError.h"

#include <algorithm>
#include <system_error>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

struct Outcome
{
    std::vector<std::string> lines; // standard output's
    ProcessRunner::Captured captured;
};

// Runs a checking tool to its end, whatever its exit status: the status and the output are the
// verdict. A cancel, a password failure or a tool that cannot start is thrown.
Outcome check(ToolRun tool, const RunControl& control)
{
    Outcome outcome;
    const ToolRun run = controlled(std::move(tool), control);
    outcome.captured = ProcessRunner::captureWithStatus(
        run, [&](std::string_view line) { outcome.lines.emplace_back(trimmed(line)); });
    return outcome;
}

fs::path systemTool(std::string_view name)
{
    const fs::path path = fs::path("/usr/bin") / name;
    if (!ToolLocator::isExecutableFile(path)) {
        throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory),
                                "cannot start " + std::string(name));
    }
    return path;
}

void addOnce(std::vector<std::string>& names, std::string name)
{
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(std::move(name));
    }
}

// unzip pads a name to a column before its verdict: the entry is the longest listed name that the
// line begins with, followed by a space or the line's end (a name may hold runs of spaces itself).
// unzip prints a name in a legacy encoding as stored, and the entry is named as the listing shows it.
std::vector<std::string> unzipDamaged(const Outcome& outcome, const ListRequest& listed)
{
    const std::vector<std::string> failing = InfoZip::failedTests(outcome.lines);
    std::vector<std::string> names;
    if (failing.empty()) {
        return names;
    }
    const ArchiveListing listing = ArchiveCatalog::list(listed);
    for (const std::string& rest : failing) {
        std::string best;
        std::size_t bestLength = 0;
        for (const ArchiveEntry& entry : listing.entries) {
            // The output's lines are made valid UTF-8 as they are read.
            const std::string printed = entry.storedPath.empty() ? entry.path : repairedUtf8(entry.storedPath);
            // The verdict may stand on the next line ("error: invalid compressed data to inflate").
            if (printed.size() > bestLength && (rest == printed || rest.starts_with(printed + " "))) {
                best = entry.path;
                bestLength = printed.size();
            }
        }
        addOnce(names, best);
    }
    return names;
}

// "ERROR: CRC Failed : NAME", "ERROR: Data Error : NAME", ...
TestReport testSevenZip(const fs::path& tool, const fs::path& archive, const std::optional<std::string>& password,
                        const RunControl& control)
{
    const Outcome outcome = check(SevenZip::test(tool, archive, password), control);
    TestReport report;
    for (const std::string& line : outcome.lines) {
        if (auto damaged = SevenZip::damagedEntry(line)) {
            addOnce(report.damaged, std::move(*damaged));
        }
    }
    report.sound = report.damaged.empty() && outcome.captured.status == 0;
    return report;
}

TestReport testLsar(const fs::path& tool, const fs::path& archive, const std::optional<std::string>& password,
                    const RunControl& control);

TestReport testZip(const fs::path& archive, const std::optional<std::string>& password, const RarSupport& support,
                   const RunControl& control, std::string_view encoding)
{
    // unzip reads no ZIP cut into parts; 7-Zip and lsar do.
    if (SplitSet::of(archive)) {
        if (support.sevenZip) {
            return testSevenZip(*support.sevenZip, archive, password, control);
        }
        if (support.lister) {
            return testLsar(*support.lister, archive, password, control);
        }
    }
    if (password && !InfoZip::takesPassword(*password)) {
        if (!support.sevenZip) {
            throw ArchiveError(ArchiveError::Case::zipPasswordTooLong);
        }
        return testSevenZip(*support.sevenZip, archive, password, control);
    }
    const Outcome outcome = check(InfoZip::test(archive, password), control);
    // 81: members unzip cannot read (AES, newer methods), which 7-Zip reads, as for extraction.
    if (outcome.captured.status == 81 && support.sevenZip) {
        return testSevenZip(*support.sevenZip, archive, password, control);
    }
    TestReport report;
    report.damaged = unzipDamaged(outcome, {.archive = archive,
                                            .password = password.value_or(std::string()),
                                            .tools = support,
                                            .session = control.session,
                                            .encoding = std::string(encoding)});
    // 1 is a warning (such as bytes before the archive) with every member read and sound.
    report.sound = report.damaged.empty() && outcome.captured.status <= 1;
    return report;
}

// "NAME... OK." or "NAME... Checksum failed!"; a folder's verdict is empty.
TestReport testLsar(const fs::path& tool, const fs::path& archive, const std::optional<std::string>& password,
                    const RunControl& control)
{
    const Outcome outcome = check(Unar::test(tool, archive, password), control);
    TestReport report;
    bool wrongPassword = false;
    for (const std::string& line : outcome.lines) {
        if (auto read = Unar::readTestLine(line); read && read->verdict != "OK.") {
            wrongPassword = wrongPassword || read->verdict == "Wrong password!";
            addOnce(report.damaged, std::move(read->name));
        }
    }
    // As for unar: the verdict counts only when lsar failed, which no name can bring about.
    if (wrongPassword && outcome.captured.status != 0) {
        throw ArchiveError(ArchiveError::Case::wrongPassword);
    }
    report.sound = report.damaged.empty() && outcome.captured.status == 0;
    return report;
}

// The compressed stream by its own tool (its checksums cover every byte), then every header by tar,
// which reads through the whole stream. tar stops in the entry it listed last when the archive ends
// early; but past a damaged header it goes on ("Retrying") and may still exit 0, and that header's
// name is lost: what it listed before and after is intact, so no entry is named then.
TestReport testTar(ArchiveKind kind, const fs::path& archive, const RunControl& control)
{
    TestReport report;
    if (const std::string_view compressor = Tar::compressorOf(kind); !compressor.empty()) {
        const Outcome stream = check(Tar::testStream(systemTool(compressor), archive), control);
        report.sound = stream.captured.status == 0;
    }
    const Outcome listed = check(Tar::test(requireSystemTar(), archive), control);
    const std::string& message = listed.captured.message;
    const bool headersSound = listed.captured.status == 0 && message.find("Damaged") == std::string::npos &&
                              message.find("Retrying") == std::string::npos &&
                              message.find("rror") == std::string::npos;
    if (!headersSound) {
        report.sound = false;
        if (!listed.lines.empty() && message.find("Retrying") == std::string::npos) {
            report.damaged.push_back(listed.lines.back());
        }
    }
    return report;
}

} // namespace

std::string testVerdict(const TestReport& report)
{
    if (report.sound) {
        return L10n::text(Text::testFoundNoErrors);
    }
    if (report.damaged.empty()) {
        return L10n::text(Text::testDamagedUnnamed);
    }
    std::string names;
    for (const std::string& name : report.damaged) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return replacingAll(L10n::text(Text::testDamaged), "%1", names);
}

std::string verifyFailure(const TestReport& report)
{
    return replacingAll(L10n::text(Text::verifyFailed), "%1", testVerdict(report));
}

TestReport ArchiveEngine::test(const fs::path& given, const RarSupport& support,
                               const std::optional<std::string>& password, const RunControl& control,
                               std::string_view encoding)
{
    const fs::path archive = SplitSet::whole(given);
    checkArchive(archive);
    const ArchiveKind kind = requireKind(archive);
    if (kind.isSingleFile() && !kind.hasMagic(archive)) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    const auto viaUnar = [&]() -> TestReport {
        if (!support.lister) {
            throw ArchiveError(kind == ArchiveKind::rar ? ArchiveError::Case::rarUnavailable
                                                        : ArchiveError::Case::sevenZipUnavailable);
        }
        return testLsar(*support.lister, archive, password, control);
    };
    switch (kind) {
    case ArchiveKind::zip:
    case ArchiveKind::jar:
        return testZip(archive, password, support, control, encoding);
    case ArchiveKind::zipx:
        // unzip knows none of zipx's newer methods.
        return support.sevenZip ? testSevenZip(*support.sevenZip, archive, password, control)
                                : testZip(archive, password, support, control, encoding);
    case ArchiveKind::sevenZip:
        return support.sevenZip ? testSevenZip(*support.sevenZip, archive, password, control) : viaUnar();
    case ArchiveKind::rar:
        return viaUnar();
    case ArchiveKind::gzip:
    case ArchiveKind::xz:
    case ArchiveKind::bzip2:
    case ArchiveKind::zstd: {
        const Outcome outcome = check(Tar::testStream(systemTool(Tar::compressorOf(kind)), archive), control);
        TestReport report;
        report.sound = outcome.captured.status == 0;
        if (!report.sound) {
            report.damaged.push_back(archive.stem().string());
        }
        return report;
    }
    default:
        return testTar(kind, archive, control);
    }
}

} // namespace tarvo::engine
