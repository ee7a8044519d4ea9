// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestSupport.h"
#include "engine/adapters/InfoZip.h"
#include "engine/adapters/Rarlab.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/adapters/TarvoLister.h"
#include "engine/adapters/Unar.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/Housekeeping.h"

#include <gtest/gtest.h>

using namespace tarvo::engine;
using namespace tarvo::test;
using Args = std::vector<std::string>;

namespace {

// What follows the first "--", where the tool reads everything as a name.
Args operands(const ToolRun& run)
{
    const auto dashes = std::find(run.arguments.begin(), run.arguments.end(), "--");
    EXPECT_NE(dashes, run.arguments.end()) << run.executable;
    return dashes == run.arguments.end() ? Args{} : Args(dashes + 1, run.arguments.end());
}

bool hasArgumentHolding(const ToolRun& run, std::string_view text)
{
    return std::any_of(run.arguments.begin(), run.arguments.end(),
                       [&](const std::string& argument) { return argument.find(text) != std::string::npos; });
}

} // namespace

// Every tool's command lines: a name like "-x" or "@list" stays a name (after "--", or quoted where
// the tool has no "--"), a name is never read as a pattern, and a password is never an argument
// but for unar and lsar, which have no other way.
TEST(ToolCommands, OperandsStayNamesAndPasswordsStayOff)
{
    const std::string secret = "s3cret";
    const Args names = {"-x", "@list", "--help", "a[1]*?.txt"};
    const CreateCommand create{"/o/-A", names, CompressionLevel::maximum, secret, true};
    const TarTool bsdtar{"/usr/bin/bsdtar", true, std::nullopt};
    const TarTool gnuTar{"/usr/bin/tar", false, "/usr/bin/pigz"};
    const std::pair<ToolRun, Args> creations[] = {
        {InfoZip::create(create, "/o/.tarvo-scratch"), names},
        {SevenZip::create("/usr/bin/7zz", create), names},
        {Rarlab::create("/r/rar", create), names},
        // bsdtar reads "@name" as an archive to copy in, even after "--".
        {Tar::create(bsdtar, create), {"-x", "./@list", "--help", "a[1]*?.txt"}},
        {Tar::create(gnuTar, create), names},
    };
    for (const auto& [run, expected] : creations) {
        SCOPED_TRACE(run.executable.string());
        EXPECT_EQ(operands(run), expected);
        // The archive and the housekeeping names are said before "--", as options.
        const Args options(run.arguments.begin(), run.arguments.end() - static_cast<long>(expected.size()));
        EXPECT_NE(std::find(options.begin(), options.end(), "/o/-A"), options.end());
        for (const HousekeepingItem& item : kHousekeeping) {
            EXPECT_TRUE(std::any_of(options.begin(), options.end(), [&](const std::string& option) {
                return option.find(item.name) != std::string::npos;
            })) << item.name;
        }
    }
    // A password reaches the tools that protect archives by their own routes, never as an argument.
    for (const ToolRun& run : {creations[0].first, creations[1].first, creations[2].first}) {
        EXPECT_FALSE(hasArgumentHolding(run, secret)) << run.executable;
        EXPECT_EQ(run.terminalAnswer.value_or(run.standardInput.value_or("")),
                  run.passwordRoute == PasswordRoute::standardInput ? secret + "\n" : secret);
        EXPECT_EQ(run.redact, secret);
    }
    EXPECT_FALSE(InfoZip::create({"/o/A", names, CompressionLevel::fast, std::nullopt, false}, "/s").terminalAnswer);

    const ExtractCommand extract{"/in/-a[1].zip", "/out", {{"-x[1]*"}}, {4, 5}, secret};
    const ExtractCommand quotable{"/in/-a[1].rar", "/out", {{"-x[1]", true}}, {}, secret};
    EXPECT_EQ(operands(SevenZip::extract("/usr/bin/7zz", extract)), (Args{"/in/-a[1].zip", "-x[1]*"}));
    EXPECT_TRUE(hasArgumentHolding(SevenZip::extract("/usr/bin/7zz", extract), "-spd")) << "names taken literally";
    EXPECT_EQ(operands(Tar::extract(bsdtar, ArchiveKind::tar, extract)), Args{"-x\\[1\\]\\*"});
    EXPECT_EQ(operands(Tar::extractOther("/usr/bin/bsdtar", extract)), Args{"-x\\[1\\]\\*"});
    const ToolRun gnu = Tar::extract(gnuTar, ArchiveKind::tarGz, extract);
    EXPECT_EQ(operands(gnu), Args{"-x[1]*"});
    EXPECT_TRUE(hasArgumentHolding(gnu, "--no-wildcards"));
    EXPECT_EQ(operands(Rarlab::extract("/r/unrar", quotable)), (Args{"/in/-a[1].rar", "-x[1]/*", "/out/"}));
    EXPECT_TRUE(Rarlab::cannotQuote("/in/a.rar", "-x[1]*") && Rarlab::cannotQuote("/in/a.rar", "@x") &&
                Rarlab::cannotQuote("/in/a?.rar", std::nullopt));
    EXPECT_FALSE(Rarlab::cannotQuote("/in/-a[1].rar", "-x[1]"));
    // unzip knows no "--": both names are quoted as its patterns read them.
    const ToolRun unzip = InfoZip::extract(extract);
    EXPECT_EQ(unzip.arguments, (Args{"-o", "/in/-a[[]1].zip", "[-]x[[]1][*]", "-d", "/out"}));
    // unar reads names as patterns: it is given the entry's numbers.
    const ToolRun unar = Unar::extract("/usr/bin/unar", extract);
    EXPECT_EQ(operands(unar), (Args{"/in/-a[1].zip", "4", "5"}));
    EXPECT_TRUE(hasArgumentHolding(unar, "-indexes"));
    for (const ToolRun& run :
         {SevenZip::extract("/usr/bin/7zz", extract), Tar::extractOther("/usr/bin/bsdtar", extract),
          Rarlab::extract("/r/unrar", quotable), unzip}) {
        EXPECT_FALSE(hasArgumentHolding(run, secret)) << run.executable;
    }

    // Edits: the working copy and the names after "--", patterns quoted, the password off the line.
    const EditCommand edit{"/w/-a.7z", {"-x[1]*", "@list"}, secret};
    for (const ToolRun& run : {SevenZip::remove("/usr/bin/7zz", edit), SevenZip::rename("/usr/bin/7zz", edit),
                               Rarlab::remove("/r/rar", edit)}) {
        EXPECT_EQ(operands(run), (Args{"/w/-a.7z", "-x[1]*", "@list"})) << run.executable;
        EXPECT_FALSE(hasArgumentHolding(run, secret)) << run.executable;
    }
    const ToolRun zipRemove = InfoZip::remove(edit, "/w/s");
    EXPECT_EQ(operands(zipRemove), (Args{"-x[1]*", "@list"}));
    EXPECT_TRUE(hasArgumentHolding(zipRemove, "-nw")) << "zip reads no pattern";
    EXPECT_EQ(InfoZip::rename(edit)->standardInput, "@ -x[1]*\n@=@list\n@ (comment above this line)\n");
    EXPECT_FALSE(InfoZip::rename({"/w/a.zip", {"a", "b\nc"}, std::nullopt})) << "a line break ends a note";
    const ToolRun added = SevenZip::add("/usr/bin/7zz", create, std::nullopt, true);
    EXPECT_EQ(operands(added), names);
    EXPECT_TRUE(hasArgumentHolding(added, "-mhe=on") && !hasArgumentHolding(added, secret));
    const ToolRun rewrite = Tar::rewrite(bsdtar, ArchiveKind::tarXz, "/in/@a.tar.xz", {"/w/-n.tar.xz", {"p/-x"}, {}},
                                         {"-x[1]*", "^b"}, "p");
    EXPECT_EQ(operands(rewrite), (Args{"@/in/@a.tar.xz", "p/-x"}));
    for (const char* pattern : {"^-x\\[1\\]\\*", "^^b", ",^p/,,S"}) {
        EXPECT_TRUE(hasArgumentHolding(rewrite, pattern)) << pattern;
    }

    // Tests and listings: the archive after "--" where the tool takes it, its password off the line but for lsar.
    const std::filesystem::path archive = "/in/-a.7z";
    for (const ToolRun& run :
         {SevenZip::test("/usr/bin/7zz", archive, secret), SevenZip::list("/usr/bin/7zz", archive, secret),
          TarvoLister::list("/l/tarvo-lister", "zip", archive, "CP437"),
          TarvoLister::detect("/l/tarvo-lister", archive, {}), Tar::testStream("/usr/bin/gzip", archive),
          Tar::decompress("/usr/bin/gzip", archive), Unar::test("/usr/bin/lsar", archive, secret),
          Unar::list("/usr/bin/lsar", archive, secret)}) {
        EXPECT_EQ(operands(run), Args{"/in/-a.7z"}) << run.executable;
        EXPECT_TRUE(run.executable == "/usr/bin/lsar" || !hasArgumentHolding(run, secret)) << run.executable;
    }
    EXPECT_EQ(operands(SevenZip::readEntry("/usr/bin/7zz", archive, "-l", secret)), (Args{"/in/-a.7z", "-l"}));
    EXPECT_EQ(InfoZip::test("/in/-a[1].zip", secret).arguments, (Args{"-t", "/in/-a[[]1].zip"}));
    EXPECT_EQ(Unar::list("/usr/bin/lsar", archive, secret).redact, secret);
    EXPECT_EQ(InfoZip::literal("-x/*?\\"), "[-]x/[*][?]\\\\");
    EXPECT_EQ(InfoZip::literal("a-b"), "a-b");
    EXPECT_EQ(Tar::literal("a[1]*?\\.txt"), "a\\[1\\]\\*\\?\\\\.txt");
    // A blank password is no password.
    EXPECT_EQ(ArchiveEngine::normalized("   "), std::nullopt);
}

// Every tar with pigz or with gzip writes what gzip and bsdtar read.
TEST(ArchiveCommands, TarGzThroughPigzOrGzipIsPlainGzip)
{
    const auto pigz = systemTool("pigz");
    TARVO_SKIP_WITHOUT("bsdtar", "gzip", "pigz");
    TempDir dir;
    writeFile(dir / "in" / "a.txt", noise(300000));
    std::vector<TarTool> tars = {{*systemTool("bsdtar"), true, std::nullopt}, {*systemTool("bsdtar"), true, pigz}};
    if (const auto gnuTar = systemTool("tar")) {
        tars.push_back({*gnuTar, false, std::nullopt});
        tars.push_back({*gnuTar, false, pigz});
    }
    for (std::size_t i = 0; i < tars.size(); ++i) {
        SCOPED_TRACE(tars[i].path.string() + (tars[i].parallelGzip ? " with pigz" : " with gzip"));
        const std::string archive = (dir / ("out" + std::to_string(i) + ".tar.gz")).string();
        EXPECT_NO_THROW(ProcessRunner::run(
            Tar::create(tars[i], {archive, {(dir / "in").string()}, CompressionLevel::normal, std::nullopt, false})));
        EXPECT_EQ(runProgram({systemTool("gzip")->string(), "-t", archive}).status, 0);
        const ProgramResult listed = runProgram({systemTool("bsdtar")->string(), "-tf", archive});
        EXPECT_EQ(listed.status, 0);
        EXPECT_NE(listed.output.find("in/a.txt"), std::string::npos) << listed.output;
    }
}

// RARLAB's tools cannot be installed here: fakes record their arguments and act like them.
TEST(FakeRarTools, RarCreationAndUnrarExtraction)
{
    TempDir dir;
    writeFile(dir / "in" / "Report.txt", "r");
    writeFile(dir / "in" / "*.txt", "star");
    writeFile(dir / "in" / "other.txt", "o");
    const auto rar = installFakeTool("recording-rar", dir / "bin" / "rar");
    const auto unrar = installFakeTool("recording-unrar", dir / "bin" / "unrar");
    const auto recorded = [&](const char* name) {
        Args lines;
        std::istringstream text(readFile(dir / "bin" / name));
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    };

    CompressRequest request;
    request.items = {dir / "in" / "Report.txt"};
    request.format = ArchiveFormat::rar;
    request.password = " pw ";
    request.directory = dir / "in";
    EXPECT_THROW(ArchiveEngine::compress(request), ArchiveError); // no rar located
    request.tools.creator = rar;
    const auto archive = ArchiveEngine::compress(request);
    EXPECT_EQ(archive, dir / "in" / "Report.rar");
    EXPECT_EQ(readFile(archive), "made\n");
    Args args = recorded("rar.args");
    ASSERT_EQ(args.size(), 15u);
    EXPECT_EQ(args[5], "-hp");
    EXPECT_EQ(recorded("rar.password"), Args{"pw"}) << "typed on rar's terminal, twice";
    EXPECT_EQ(args[14], "Report.txt");

    // A name that rar would read as a wildcard is packed from a staging folder holding only it.
    request.items = {dir / "in" / "*.txt"};
    request.password.clear();
    ArchiveEngine::compress(request);
    args = recorded("rar.args");
    EXPECT_EQ(args.back(), "*.txt");
    const std::filesystem::path staging = recorded("rar.pwd").front();
    EXPECT_TRUE(staging.filename().string().starts_with(".tarvo-")) << staging;
    EXPECT_FALSE(std::filesystem::exists(staging));
    // A failing tool leaves neither its partial archive nor the staging folder behind.
    writeFile(rar.string() + ".status", "2");
    EXPECT_THROW(ArchiveEngine::compress(request), ArchiveError);
    std::filesystem::remove(rar.string() + ".status");
    EXPECT_FALSE(std::filesystem::exists(recorded("rar.pwd").front()));
    for (const std::string& name : namesIn(dir / "in")) {
        EXPECT_FALSE(name.starts_with(".tarvo-")) << name;
    }

    RarSupport support;
    support.extractor = unrar;
    const auto folder = ArchiveEngine::extract(archive, support, " secret ", {});
    EXPECT_EQ(folder, dir / "in" / "Report");
    Args unrarArgs = recorded("unrar.args");
    // unrar writes into a hidden working folder, which becomes the result when it is complete.
    ASSERT_EQ(unrarArgs.size(), 7u);
    EXPECT_TRUE(unrarArgs.back().starts_with((dir / "in" / ".tarvo-").string()) && unrarArgs.back().ends_with("/"));
    unrarArgs.pop_back();
    EXPECT_EQ(unrarArgs, (Args{"x", "-y", "-o+", "-p", "--", archive.string()}));
    EXPECT_EQ(recorded("unrar.password"), Args{"secret"});
    EXPECT_EQ(readFile(folder / "out.txt"), "x\n");
    ArchiveEngine::extract(archive, support, std::nullopt, {});
    EXPECT_EQ(recorded("unrar.args")[3], "-p-");
    // A single file needs no listing; unrar gets the entry before the destination.
    const auto entry = ArchiveEngine::extractEntry(
        {.archive = archive, .entry = "docs/a.txt", .tools = support, .isDirectory = false});
    EXPECT_EQ(entry, dir / "in" / "Report 3" / "docs/a.txt");
    EXPECT_EQ(recorded("unrar.args")[6], "docs/a.txt");

    // A tool that asks again after a wrong answer is stopped, not left waiting.
    writeFile(unrar.string() + ".expected", "secret");
    EXPECT_EQ(failureOf([&] { ArchiveEngine::extract(archive, support, "bad", {}); }),
              ArchiveError::Case::wrongPassword);
    EXPECT_FALSE(std::filesystem::exists(dir / "in" / "Report 4"));
    support.extractor.reset();
    EXPECT_THROW(ArchiveEngine::extract(archive, support, std::nullopt, {}), ArchiveError);
}
