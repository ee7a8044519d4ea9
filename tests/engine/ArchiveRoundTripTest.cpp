#include "ArchiveCatalog.h"
#include "ArchiveEngine.h"
#include "ArchiveError.h"
#include "L10n.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <thread>

using namespace tarvo::engine;
using namespace std::chrono_literals;
using tarvo::test::namesIn;
using tarvo::test::readFile;
using tarvo::test::ScopedEnv;
using tarvo::test::TempDir;
using tarvo::test::writeFile;
namespace fs = std::filesystem;

namespace {

// Names that a tool could read as an option or a pattern.
const char* const kAwkwardNames[] = {"-T.txt", "--help", "a[1].txt", "*.txt", "@x", "back\\slash.txt", "q?.txt"};

class RoundTrip : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const auto missing = tarvo::test::missingTool({"zip", "unzip", "bsdtar", "7zz", "unar", "lsar"})) {
            GTEST_SKIP() << *missing;
        }
        tools = ToolLocator::rarSupport();
        for (const char* name : kAwkwardNames) {
            writeFile(dir / "Pack" / name, name);
        }
        writeFile(dir / "Pack" / "a1.txt", "decoy");
        writeFile(dir / "Pack" / "Photos" / "Photos" / "a.jpg", "jpg");
        writeFile(dir / "Pack" / ".DS_Store", "junk");
        writeFile(dir / "Pack" / "Old" / ".AppleDouble" / "x", "junk");
        fs::create_directories(dir / "Pack" / "Empty");
    }

    fs::path pack(std::vector<fs::path> items, ArchiveFormat format, const std::string& password = {},
                  const std::string& name = {})
    {
        CompressRequest request;
        request.items = std::move(items);
        request.format = format;
        request.password = password;
        request.name = name;
        request.directory = dir / "out";
        request.tools = tools;
        fs::create_directories(request.directory);
        return ArchiveEngine::compress(request);
    }

    ArchiveError::Case failure(const std::function<void()>& job)
    {
        try {
            job();
        } catch (const ArchiveError& error) {
            return error.errorCase();
        }
        ADD_FAILURE() << "the job succeeded";
        return ArchiveError::Case::toolFailed;
    }

    TempDir dir;
    RarSupport tools;
};

} // namespace

TEST_F(RoundTrip, EveryFormatKeepsAwkwardNamesAndLeavesHousekeepingOut)
{
    RarSupport unarOnly = tools;
    unarOnly.sevenZip.reset();
    struct Case
    {
        ArchiveFormat format;
        std::string password;
        RarSupport support;
    };
    const Case cases[] = {{ArchiveFormat::zip, "", tools},           {ArchiveFormat::zip, "zip pass", tools},
                          {ArchiveFormat::tarGz, "ignored", tools},  {ArchiveFormat::sevenZip, "", tools},
                          {ArchiveFormat::sevenZip, "seven", tools}, {ArchiveFormat::sevenZip, "seven", unarOnly}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format.rawValue()) + " via " + c.support.sevenZip.value_or("unar").string());
        const fs::path archive = pack({dir / "Pack"}, c.format, c.password);
        EXPECT_EQ(archive.filename(), "Pack." + std::string(c.format.rawValue()));
        const std::optional<std::string> password =
            c.password.empty() ? std::nullopt : std::optional<std::string>(" " + c.password + " ");
        // The lone top-level folder Pack is lifted: the result is the folder itself.
        const fs::path result = ArchiveEngine::extract(archive, c.support, password, {});
        EXPECT_EQ(result, dir / "out" / "Pack");
        for (const std::string name : kAwkwardNames) {
            // unar reads a backslash in a 7Z name as a folder separator, as Windows would.
            if (name.find('\\') == std::string::npos || c.support.sevenZip) {
                EXPECT_EQ(readFile(result / name), name);
            }
        }
        EXPECT_EQ(readFile(result / "Photos" / "Photos" / "a.jpg"), "jpg");
        EXPECT_FALSE(fs::exists(result / ".DS_Store"));
        EXPECT_FALSE(fs::exists(result / "Old" / ".AppleDouble"));

        // One entry at a time gives exactly that entry, a folder with everything in it.
        for (const std::string entry : {"Pack/a[1].txt", "Pack/*.txt", "Pack/-T.txt", "Pack/q?.txt"}) {
            const fs::path taken = ArchiveEngine::extractEntry(archive, entry, c.support, password, {});
            EXPECT_EQ(readFile(taken), fs::path(entry).filename().string()) << entry;
            EXPECT_EQ(namesIn(taken.parent_path()).size(), 1u) << entry << " brought company";
            fs::remove_all(taken.parent_path().parent_path());
        }
        const fs::path folder = ArchiveEngine::extractEntry(archive, "Pack/Photos", c.support, password, {});
        EXPECT_EQ(readFile(folder / "Photos" / "a.jpg"), "jpg");
        fs::remove_all(folder.parent_path().parent_path());
        fs::remove_all(result);
        fs::remove(archive);
    }
    EXPECT_EQ(namesIn(dir / "out"), std::vector<std::string>{});

    // An archive whose own name holds pattern characters, beside one its pattern would match.
    fs::create_directories(dir / "names");
    writeFile(dir / "names" / "right.txt", "right");
    writeFile(dir / "names" / "wrong.txt", "wrong");
    fs::rename(pack({dir / "names" / "right.txt"}, ArchiveFormat::zip), dir / "out" / "R[1]*.zip");
    fs::rename(pack({dir / "names" / "wrong.txt"}, ArchiveFormat::zip), dir / "out" / "R1x.zip");
    const fs::path opened = ArchiveEngine::extract(dir / "out" / "R[1]*.zip", tools, std::nullopt, {});
    EXPECT_EQ(namesIn(opened), std::vector<std::string>{"right.txt"});
}

TEST_F(RoundTrip, NamingStagingAndValidation)
{
    ScopedLanguage english(AppLanguage::english);
    writeFile(dir / "a" / "x.txt", "a");
    writeFile(dir / "b" / "x.txt", "b");
    writeFile(dir / "a" / "Docs" / "d.txt", "a");
    writeFile(dir / "b" / "Docs" / "d.txt", "b");
    const ScopedEnv tmp("TMPDIR", (dir / "tmp").string());
    fs::create_directories(dir / "tmp");

    const fs::path mixed =
        pack({dir / "a" / "x.txt", dir / "b" / "x.txt", dir / "a" / "Docs", dir / "b" / "Docs"}, ArchiveFormat::zip);
    EXPECT_EQ(mixed.filename(), "Archive.zip");
    EXPECT_EQ(namesIn(dir / "tmp"), std::vector<std::string>{}) << "the staging folder stayed";
    const fs::path result = ArchiveEngine::extract(mixed, tools, std::nullopt, {});
    EXPECT_EQ(namesIn(result), (std::vector<std::string>{"Docs", "Docs 2", "x 2.txt", "x.txt"}));
    EXPECT_EQ(readFile(result / "x 2.txt"), "b");
    EXPECT_EQ(readFile(result / "Docs 2" / "d.txt"), "b");

    EXPECT_EQ(pack({dir / "a" / "x.txt", dir / "a" / "Docs"}, ArchiveFormat::zip).filename(), "Archive 2.zip");
    EXPECT_EQ(pack({dir / "a" / "x.txt"}, ArchiveFormat::tarGz).filename(), "x.tar.gz");
    EXPECT_EQ(pack({dir / "a" / "x.txt"}, ArchiveFormat::zip, "", " My/Set.ZIP ").filename(), "My-Set.zip");
    {
        ScopedLanguage russian(AppLanguage::russian);
        EXPECT_EQ(pack({dir / "a" / "x.txt", dir / "b" / "x.txt"}, ArchiveFormat::zip).filename(), "Архив.zip");
    }

    // Into the folder being packed, or below it: refused, nothing written.
    CompressRequest inside;
    inside.items = {dir / "a"};
    inside.directory = dir / "a" / "Docs";
    EXPECT_EQ(failure([&] { ArchiveEngine::compress(inside); }), ArchiveError::Case::destinationInsideSource);
    inside.directory = dir / "a";
    EXPECT_EQ(failure([&] { ArchiveEngine::compress(inside); }), ArchiveError::Case::destinationInsideSource);
    EXPECT_EQ(namesIn(dir / "a" / "Docs"), std::vector<std::string>{"d.txt"});
    inside.items = {dir / "a" / "x.txt"};
    EXPECT_EQ(ArchiveEngine::compress(inside), dir / "a" / "x.zip");

    // Items that vanished are passed over; none left, or only housekeeping files, is nothing to archive.
    writeFile(dir / "junk" / ".DS_Store", "");
    EXPECT_EQ(failure([&] { pack({dir / "gone"}, ArchiveFormat::zip); }), ArchiveError::Case::noInputs);
    EXPECT_EQ(failure([&] { pack({dir / "junk" / ".DS_Store"}, ArchiveFormat::zip); }), ArchiveError::Case::noInputs);
    EXPECT_EQ(pack({dir / "gone", dir / "b" / "x.txt"}, ArchiveFormat::zip).filename(), "x.zip");
}

TEST_F(RoundTrip, CancellingRemovesThePartialArchiveAndTheStagingFolder)
{
    const ScopedEnv tmp("TMPDIR", (dir / "tmp").string());
    fs::create_directories(dir / "tmp");
    // Incompressible data keeps 7-Zip busy long enough to be cancelled mid-way.
    const std::string noise = tarvo::test::noise(12 << 20);
    writeFile(dir / "one" / "noise.bin", noise);
    writeFile(dir / "two" / "noise.bin", noise);

    for (ArchiveFormat format : {ArchiveFormat::sevenZip, ArchiveFormat::zip}) {
        CompressRequest request;
        request.items = {dir / "one" / "noise.bin", dir / "two" / "noise.bin"};
        request.format = format;
        request.level = CompressionLevel::maximum;
        request.directory = dir / "out";
        request.tools = tools;
        fs::create_directories(request.directory);
        auto session = std::make_shared<ArchiveSession>();
        request.control.session = session;
        std::thread canceller([&] {
            // Once the tool has begun writing in the output folder it is at work.
            for (int i = 0; i < 2000 && fs::is_empty(dir / "out"); ++i) {
                std::this_thread::sleep_for(2ms);
            }
            session->cancel();
        });
        EXPECT_EQ(failure([&] { ArchiveEngine::compress(request); }), ArchiveError::Case::cancelled);
        canceller.join();
        EXPECT_EQ(namesIn(dir / "out"), std::vector<std::string>{}) << format.rawValue();
        EXPECT_EQ(namesIn(dir / "tmp"), std::vector<std::string>{}) << format.rawValue();
    }
    EXPECT_EQ(readFile(dir / "one" / "noise.bin").size(), noise.size());
}

TEST_F(RoundTrip, FlatteningLiftsOnlyALoneRealFolder)
{
    // Each case: what the archive holds (built from a folder), and what the result folder must hold.
    struct Case
    {
        std::vector<std::pair<std::string, std::string>> files;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{{"Photos/a.jpg", "1"}, {"Photos/b.jpg", "2"}}, {"a.jpg", "b.jpg"}},
        {{{"a.txt", "1"}}, {"a.txt"}},
        {{{"Photos/a.jpg", "1"}, {".hidden", "h"}}, {".hidden", "a.jpg"}},
        {{{"one/a", "1"}, {"two/b", "2"}}, {"one", "two"}},
        {{{"Photos/Photos/a.jpg", "1"}}, {"Photos"}},
        {{{"Photos/.hidden", "in"}, {".hidden", "top"}}, {".hidden", "Photos"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        const fs::path source = dir / ("src" + std::to_string(++n));
        std::vector<fs::path> items;
        for (const auto& [path, content] : c.files) {
            writeFile(source / path, content);
        }
        for (const auto& entry : fs::directory_iterator(source)) {
            items.push_back(entry.path());
        }
        for (ArchiveFormat format : {ArchiveFormat::zip, ArchiveFormat::tarGz, ArchiveFormat::sevenZip}) {
            const fs::path archive = pack(items, format, "", "Case" + std::to_string(n));
            const fs::path result = ArchiveEngine::extract(archive, tools, std::nullopt, {});
            EXPECT_EQ(result.filename(), "Case" + std::to_string(n));
            EXPECT_EQ(namesIn(result), c.expected) << "case " << n << " " << format.rawValue();
            fs::remove_all(result);
        }
    }
    // The same archive twice: Name, then Name 2.
    const fs::path archive = pack({dir / "src1" / "Photos"}, ArchiveFormat::zip, "", "Twice");
    EXPECT_EQ(ArchiveEngine::extract(archive, tools, std::nullopt, {}).filename(), "Twice");
    EXPECT_EQ(ArchiveEngine::extract(archive, tools, std::nullopt, {}).filename(), "Twice 2");
}

TEST_F(RoundTrip, ProtectedArchivesAndListings)
{
    const fs::path zip = pack({dir / "Pack"}, ArchiveFormat::zip, "secret");
    const fs::path hidden = pack({dir / "Pack"}, ArchiveFormat::sevenZip, "secret");
    EXPECT_EQ(failure([&] { ArchiveEngine::extract(zip, tools, "wrong", {}); }), ArchiveError::Case::wrongPassword);
    EXPECT_EQ(failure([&] { ArchiveEngine::extract(hidden, tools, std::nullopt, {}); }),
              ArchiveError::Case::wrongPassword);
    EXPECT_EQ(namesIn(dir / "out"), (std::vector<std::string>{"Pack.7z", "Pack.zip"}));

    const ArchiveListing listing = ArchiveCatalog::list(zip, "", tools);
    EXPECT_TRUE(listing.isEncrypted);
    EXPECT_NE(std::find(listing.entries.begin(), listing.entries.end(), ArchiveEntry{"Pack/a[1].txt", 8, false}),
              listing.entries.end());
    // Names hidden by header encryption: without the password, and with a wrong one, the listing
    // asks for the password instead of failing.
    EXPECT_EQ(failure([&] { ArchiveCatalog::list(hidden, "", tools); }), ArchiveError::Case::wrongPassword);
    EXPECT_EQ(failure([&] { ArchiveCatalog::list(hidden, "wrong", tools); }), ArchiveError::Case::wrongPassword);
    EXPECT_GT(ArchiveCatalog::list(hidden, " secret ", tools).entries.size(), 5u);

    RarSupport noLister = tools;
    noLister.lister.reset();
    try {
        ArchiveCatalog::list(zip, "", noLister);
        ADD_FAILURE() << "listed without lsar";
    } catch (const ArchiveError& error) {
        ScopedLanguage english(AppLanguage::english);
        EXPECT_EQ(error.errorDescription(), "The lsar tool was not found.");
    }
}

TEST_F(RoundTrip, RarFilesReadThroughUnar)
{
    const fs::path fixtures = fs::path(TARVO_FIXTURES_DIR) / "rar";
    if (!fs::exists(fixtures / "rar3-subdirs.rar")) {
        GTEST_SKIP() << "the RAR fixtures are not beside the project";
    }
    fs::create_directories(dir / "rar");
    for (const char* name : {"rar3-subdirs.rar", "rar5-psw.rar", "rar5-hpsw.rar"}) {
        fs::copy_file(fixtures / name, dir / "rar" / name);
    }
    RarSupport support = tools; // no unrar here: unar extracts
    ASSERT_EQ(support.extractor, support.unar);
    const fs::path subdirs = dir / "rar" / "rar3-subdirs.rar";
    const fs::path result = ArchiveEngine::extract(subdirs, support, std::nullopt, {});
    EXPECT_EQ(namesIn(result), (std::vector<std::string>{"dir1", "dir2", "empty", "with space", "üȵĩöḋè"}));
    EXPECT_EQ(readFile(result / "with space" / "long fn.txt").empty(), false);

    const fs::path folder = ArchiveEngine::extractEntry(subdirs, "sub/with space", support, std::nullopt, {});
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"long fn.txt"});
    EXPECT_EQ(namesIn(folder.parent_path()), std::vector<std::string>{"with space"});

    // With RARLAB's unrar present, a folder entry still goes to unar, which picks it exactly.
    support.extractor = tarvo::test::writeScript(dir / "bin" / "unrar", "exit 9");
    const fs::path viaUnar = ArchiveEngine::extractEntry(subdirs, "sub/dir1", support, std::nullopt, {});
    EXPECT_EQ(namesIn(viaUnar), std::vector<std::string>{"file1.txt"});
    support.extractor = support.unar;

    for (const char* name : {"rar5-psw.rar", "rar5-hpsw.rar"}) {
        const fs::path archive = dir / "rar" / name;
        EXPECT_EQ(failure([&] { ArchiveEngine::extract(archive, support, "wrong", {}); }),
                  ArchiveError::Case::wrongPassword);
        const fs::path opened = ArchiveEngine::extract(archive, support, "password", {});
        EXPECT_EQ(namesIn(opened), (std::vector<std::string>{"stest1.txt", "stest2.txt"})) << name;
    }
}
