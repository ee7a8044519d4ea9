#include "TestSupport.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/vocabulary/ArchiveError.h"

#include <gtest/gtest.h>

using namespace tarvo::engine;
using tarvo::test::missingTool;
using tarvo::test::noise;
using tarvo::test::ProgramResult;
using tarvo::test::readFile;
using tarvo::test::runProgram;
using tarvo::test::systemTool;
using tarvo::test::TempDir;
using tarvo::test::writeFile;
using tarvo::test::writeScript;
using Args = std::vector<std::string>;

TEST(ArchiveCommands, CreationCommandLines)
{
    const auto normal = CompressionLevel::normal;
    const auto maximum = CompressionLevel::maximum;
    // zip's exclusions come before "--", after which everything is a name.
    EXPECT_EQ(ArchiveEngine::zipArguments("/o/A.zip", {"a.txt", "-T.txt"}, "pw", normal, true),
              (Args{"-r", "-y", "-6", "-e", "/o/A.zip", "-x", "*.DS_Store", "*__MACOSX*", "*.AppleDouble",
                    "*.AppleDouble/*", "*.Spotlight-V100*", "*.Trashes*", "*.fseventsd*", "--", "a.txt", "-T.txt"}));
    EXPECT_EQ(ArchiveEngine::zipArguments("/o/A.zip", {"x"}, std::nullopt, CompressionLevel::fast, false),
              (Args{"-r", "-y", "-1", "/o/A.zip", "--", "x"}));

    EXPECT_EQ(ArchiveEngine::tarArguments("/o/A.tar.gz", {"@x", "--help"}, maximum, true),
              (Args{"-czvf", "/o/A.tar.gz", "--options", "gzip:compression-level=9", "--exclude", ".DS_Store",
                    "--exclude", "__MACOSX", "--exclude", ".AppleDouble", "--exclude", ".Spotlight-V100", "--exclude",
                    ".Trashes", "--exclude", ".fseventsd", "--", "./@x", "--help"}));
    EXPECT_EQ(ArchiveEngine::tarArguments("/o/A.tar.gz", {"@x"}, normal, false, {"/usr/bin/tar", false, std::nullopt}),
              (Args{"-cf", "/o/A.tar.gz", "-I", "gzip -6", "--", "@x"}));
    EXPECT_EQ(
        ArchiveEngine::tarArguments("/o/A.tar.gz", {"@x"}, maximum, false, {"/usr/bin/bsdtar", true, "/usr/bin/pigz"}),
        (Args{"-cvf", "/o/A.tar.gz", "--use-compress-program", "/usr/bin/pigz -9 -b 1024", "--", "./@x"}));

    EXPECT_EQ(ArchiveEngine::rarArguments("/o/A.rar", {"n"}, "pw", normal, true),
              (Args{"a", "-r", "-y", "-ol", "-m3", "-hp", "-x*.DS_Store", "-x__MACOSX", "-x.AppleDouble",
                    "-x.Spotlight-V100", "-x.Trashes", "-x.fseventsd", "/o/A.rar", "--", "n"}));

    EXPECT_EQ(ArchiveEngine::sevenZipArguments("/o/A.7z", {"n", "m"}, std::nullopt, maximum, false),
              (Args{"a", "-y", "-bso1", "-bsp1", "-snl", "-spd", "-mx9", "/o/A.7z", "--", "n", "m"}));
    EXPECT_EQ(
        ArchiveEngine::sevenZipArguments("/o/A.7z", {"-n"}, "pw", normal, true),
        (Args{"a", "-y", "-bso1", "-bsp1", "-snl", "-spd", "-mx5", "-p", "-mhe=on", "-xr!.DS_Store", "-xr!__MACOSX",
              "-xr!.AppleDouble", "-xr!.Spotlight-V100", "-xr!.Trashes", "-xr!.fseventsd", "/o/A.7z", "--", "-n"}));
}

// Every tar with pigz or with gzip writes what gzip and bsdtar read.
TEST(ArchiveCommands, TarGzThroughPigzOrGzipIsPlainGzip)
{
    const auto pigz = systemTool("pigz");
    if (auto missing = missingTool({"bsdtar", "gzip", "pigz"})) {
        GTEST_SKIP() << *missing << " is not installed";
    }
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
        Args command = {tars[i].path.string()};
        for (std::string& argument :
             ArchiveEngine::tarArguments(archive, {(dir / "in").string()}, CompressionLevel::normal, false, tars[i])) {
            command.push_back(std::move(argument));
        }
        EXPECT_EQ(runProgram(command).status, 0);
        EXPECT_EQ(runProgram({systemTool("gzip")->string(), "-t", archive}).status, 0);
        const ProgramResult listed = runProgram({systemTool("bsdtar")->string(), "-tf", archive});
        EXPECT_EQ(listed.status, 0);
        EXPECT_NE(listed.output.find("in/a.txt"), std::string::npos) << listed.output;
    }
}

TEST(ArchiveCommands, LiteralEntryPatterns)
{
    EXPECT_EQ(ArchiveEngine::unzipLiteral("a[1].txt"), "a[[]1].txt");
    EXPECT_EQ(ArchiveEngine::unzipLiteral("-x/*?\\"), "[-]x/[*][?]\\\\");
    EXPECT_EQ(ArchiveEngine::unzipLiteral("a-b"), "a-b");
    EXPECT_EQ(ArchiveEngine::tarLiteral("a[1]*?\\.txt"), "a\\[1\\]\\*\\?\\\\.txt");
    // A blank password is no password.
    EXPECT_EQ(ArchiveEngine::normalized("   "), std::nullopt);
}

// RARLAB's tools cannot be installed here: fakes record their arguments and act like them.
TEST(FakeRarTools, RarCreationAndUnrarExtraction)
{
    TempDir dir;
    writeFile(dir / "in" / "Report.txt", "r");
    writeFile(dir / "in" / "*.txt", "star");
    writeFile(dir / "in" / "other.txt", "o");
    const auto rar = tarvo::test::installFakeTool("recording-rar", dir / "bin" / "rar");
    const auto unrar = tarvo::test::installFakeTool("recording-unrar", dir / "bin" / "unrar");
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
    for (const std::string& name : tarvo::test::namesIn(dir / "in")) {
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
    const auto entry = ArchiveEngine::extractEntry(archive, "docs/a.txt", support, std::nullopt, {}, false);
    EXPECT_EQ(entry, dir / "in" / "Report 3" / "docs/a.txt");
    EXPECT_EQ(recorded("unrar.args")[6], "docs/a.txt");

    // A tool that asks again after a wrong answer is stopped, not left waiting.
    writeFile(unrar.string() + ".expected", "secret");
    try {
        ArchiveEngine::extract(archive, support, "bad", {});
        ADD_FAILURE() << "a wrong password succeeded";
    } catch (const ArchiveError& error) {
        EXPECT_EQ(error.errorCase(), ArchiveError::Case::wrongPassword);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "in" / "Report 4"));
    support.extractor.reset();
    EXPECT_THROW(ArchiveEngine::extract(archive, support, std::nullopt, {}), ArchiveError);
}
