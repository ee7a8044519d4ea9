// SPDX-License-Identifier: GPL-3.0-or-later

#include "ModelTestSupport.h"
#include "TaskRunner.h"
#include "app/EntrySearch.h"
#include "engine/history/HistoryStore.h"

namespace tarvo::test {
namespace {

using app::Banner;
using engine::ArchiveEntry;
using engine::ArchiveFormat;
using engine::ArchivePreviewItem;
using engine::JobKind;
using engine::WorkAction;
namespace fs = std::filesystem;

class PreviewTest : public ModelTest
{
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        TARVO_SKIP_WITHOUT("zip", "unzip", "7zz", "lsar", "unar");
        writeFile(work() / "src/Docs/a.txt", "alpha");
        writeFile(work() / "src/Docs/b.txt", "beta");
        writeFile(work() / "src/notes.txt", "plain");
        runIn(work() / "src", {"zip", "-r", "-q", "../plain.zip", "Docs", "notes.txt"});
        runIn(work() / "src", {"zip", "-r", "-q", "-P", "secret", "../locked.zip", "Docs"});
        runIn(work() / "src", {"7zz", "a", "-bso0", "-psecret", "-mhe=on", "../hidden.7z", "Docs"});
    }

    const ArchivePreviewItem& item(std::size_t index) const { return preview().extractPreview()->items.at(index); }

    bool waitListed() const
    {
        return spinUntil([&] { return !preview().listingID(); });
    }
};

TEST_F(PreviewTest, ExplicitExtractionListsOnlyTheArchives)
{
    auto model = makeModel();
    model->enqueue({.paths = {work() / "plain.zip", work() / "src/notes.txt"},
                    .interactive = true,
                    .action = WorkAction::extract()});
    ASSERT_TRUE(waitIdle(*model));

    ASSERT_TRUE(preview().extractPreview());
    ASSERT_EQ(preview().extractPreview()->items.size(), 1U);
    const auto& listed = item(0);
    EXPECT_EQ(listed.url, work() / "plain.zip");
    EXPECT_FALSE(listed.needsPassword);
    EXPECT_FALSE(listed.listingFailed);
    EXPECT_EQ(listed.entries.size(), 4U); // Docs, Docs/a.txt, Docs/b.txt, notes.txt
    EXPECT_EQ(model->banner(), Banner::idle());
    EXPECT_TRUE(model->records().empty());

    // Text files only: a failed extraction, no preview.
    preview().close();
    model->enqueue({.paths = {work() / "src/notes.txt"}, .interactive = true, .action = WorkAction::extract()});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_FALSE(preview().extractPreview());
    EXPECT_EQ(model->banner(), Banner::failure(QStringLiteral("That is not a ZIP, RAR, 7Z, or tar.gz archive.")));
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(model->records()[0].kind, JobKind::extract);
}

TEST_F(PreviewTest, ProtectedArchivesAskForAPasswordAndShowTheirContentsWithIt)
{
    auto model = makeModel();
    model->enqueue({.paths = {work() / "locked.zip", work() / "hidden.7z", work() / "plain.zip"},
                    .interactive = true,
                    .action = WorkAction::extract()});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(preview().extractPreview());
    const std::string previewID = preview().extractPreview()->id;

    // Entry encryption: names readable, the password still needed.
    EXPECT_TRUE(item(0).needsPassword);
    EXPECT_FALSE(item(0).listingFailed);
    EXPECT_FALSE(item(0).entries.empty());
    // Header encryption: nothing readable without the password.
    const std::string hiddenID = item(1).id;
    EXPECT_TRUE(item(1).needsPassword);
    EXPECT_TRUE(item(1).listingFailed);
    EXPECT_TRUE(item(1).entries.empty());

    // A wrong password: the notice says so and the item stays as it was.
    preview().setPassword(hiddenID, QStringLiteral("wrong"));
    preview().refreshListing(hiddenID);
    ASSERT_TRUE(waitListed());
    EXPECT_EQ(preview().notice(), QStringLiteral("Wrong password."));
    EXPECT_TRUE(item(1).listingFailed);

    // The right one, pressed twice quickly: one listing, and the entries appear.
    preview().setPassword(hiddenID, QStringLiteral("secret"));
    QSignalSpy listings(&preview(), &app::PreviewModel::listingIDChanged);
    preview().refreshListing(hiddenID);
    preview().refreshListing(hiddenID);
    ASSERT_TRUE(waitListed());
    EXPECT_EQ(listings.count(), 2); // set once, cleared once
    EXPECT_FALSE(preview().notice());
    EXPECT_FALSE(item(1).listingFailed);
    EXPECT_EQ(item(1).entries.size(), 3U);
    EXPECT_EQ(preview().extractPreview()->id, previewID);

    // A re-listing that ends after the sheet closed changes nothing.
    preview().refreshListing(item(2).id);
    preview().close();
    ASSERT_TRUE(waitListed());
    EXPECT_FALSE(preview().extractPreview());
}

// The preview's Test: one archive at a time, with the password typed for it, its verdict kept by
// item until the preview closes.
TEST_F(PreviewTest, TestingAnArchiveGivesItsVerdictWithItsPassword)
{
    auto model = makeModel();
    model->enqueue(
        {.paths = {work() / "plain.zip", work() / "hidden.7z"}, .interactive = true, .action = WorkAction::extract()});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(preview().extractPreview());
    const std::string plainID = item(0).id;
    const std::string hiddenID = item(1).id;
    const auto waitTested = [&] { return spinUntil([&] { return !preview().testingID(); }); };

    preview().testArchive(plainID);
    EXPECT_EQ(preview().testingID(), plainID);
    preview().testArchive(hiddenID); // while one runs, another waits for the button again
    ASSERT_TRUE(waitTested());
    ASSERT_EQ(preview().tests().size(), 1U);
    EXPECT_TRUE(preview().tests().at(plainID).sound);
    EXPECT_EQ(preview().tests().at(plainID).verdict(), QStringLiteral("No errors found."));

    preview().setPassword(hiddenID, QStringLiteral("wrong"));
    preview().testArchive(hiddenID);
    ASSERT_TRUE(waitTested());
    EXPECT_FALSE(preview().tests().at(hiddenID).sound);
    EXPECT_EQ(preview().tests().at(hiddenID).verdict(), QStringLiteral("Wrong password."));
    preview().setPassword(hiddenID, QStringLiteral("secret"));
    preview().testArchive(hiddenID);
    ASSERT_TRUE(waitTested());
    EXPECT_TRUE(preview().tests().at(hiddenID).sound);
    // Said in the language of the moment, not of the test.
    model->setLanguage(engine::AppLanguage::german);
    EXPECT_EQ(preview().tests().at(plainID).verdict(), QStringLiteral("Keine Fehler gefunden."));
    model->setLanguage(engine::AppLanguage::english);

    preview().close();
    EXPECT_TRUE(preview().tests().empty());
}

TEST_F(PreviewTest, AChosenNameEncodingListsAgainAndIsWhatLands)
{
    // "Привет.txt" as Windows in Russian stores it, with no UTF-8 flag.
    const std::string stored = "\xcf\xf0\xe8\xe2\xe5\xf2.txt";
    writeFile(work() / "src" / stored, "hi");
    runIn(work() / "src", {"zip", "-q", "../legacy.zip", stored}, {"LC_ALL=C"});
    auto model = makeModel();
    model->enqueue({.paths = {work() / "legacy.zip"}, .interactive = true, .action = WorkAction::extract()});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(preview().extractPreview());
    const std::string id = item(0).id;
    EXPECT_EQ(item(0).nameEncoding, "Windows-1251");
    ASSERT_EQ(item(0).entries.size(), 1U);
    EXPECT_EQ(item(0).entries[0].path, "Привет.txt");

    preview().setEncoding(id, "KOI8-R");
    ASSERT_TRUE(waitListed());
    EXPECT_EQ(item(0).chosenEncoding, "KOI8-R");
    ASSERT_EQ(item(0).entries.size(), 1U);
    EXPECT_EQ(item(0).entries[0].path, "оПХБЕР.txt");
    preview().confirmExtract();
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(readFile(fs::path(model->records()[0].outputPath) / "оПХБЕР.txt"), "hi");
}

TEST_F(PreviewTest, ConfirmingCollectsOnePasswordPerArchiveAndExtractsThemAll)
{
    auto model = makeModel();
    model->enqueue(
        {.paths = {work() / "locked.zip", work() / "plain.zip"}, .interactive = true, .action = WorkAction::extract()});
    ASSERT_TRUE(waitIdle(*model));
    const std::string lockedID = item(0).id;

    preview().confirmExtract();
    EXPECT_EQ(preview().notice(), QStringLiteral("Enter the password for the protected archive."));
    EXPECT_TRUE(preview().extractPreview());
    EXPECT_FALSE(model->isWorking());

    preview().setPassword(lockedID, QStringLiteral("secret"));
    preview().confirmExtract();
    EXPECT_FALSE(preview().extractPreview());
    EXPECT_TRUE(preview().passwords().empty());
    EXPECT_FALSE(preview().notice());
    ASSERT_TRUE(model->isWorking());
    EXPECT_EQ(model->progress().total, 5); // two files in locked.zip, three in plain.zip
    ASSERT_TRUE(waitIdle(*model));

    EXPECT_EQ(readFile(work() / "locked/a.txt"), "alpha"); // the lone folder was lifted
    EXPECT_EQ(readFile(work() / "plain/notes.txt"), "plain");
    ASSERT_EQ(model->records().size(), 2U);
    EXPECT_TRUE(model->records()[0].succeeded);
    EXPECT_TRUE(model->records()[1].succeeded);
    EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("Ready: locked")));
}

TEST_F(PreviewTest, SingleEntriesComeOutThroughTheQueue)
{
    auto model = makeModel();
    model->enqueue(
        {.paths = {work() / "locked.zip", work() / "plain.zip"}, .interactive = true, .action = WorkAction::extract()});
    ASSERT_TRUE(waitIdle(*model));
    const ArchivePreviewItem locked = item(0);
    const ArchivePreviewItem plain = item(1);

    // Spaces are no password for a single entry.
    preview().setPassword(locked.id, QStringLiteral("   "));
    preview().extractOne(locked, locked.entries.front());
    EXPECT_EQ(preview().notice(), QStringLiteral("Enter the password for the protected archive."));
    EXPECT_FALSE(model->isWorking());

    preview().setPassword(locked.id, QStringLiteral("secret"));
    const auto entry = std::find_if(locked.entries.begin(), locked.entries.end(),
                                    [](const auto& candidate) { return candidate.path == "Docs/b.txt"; });
    ASSERT_NE(entry, locked.entries.end());
    preview().extractOne(locked, *entry);
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_TRUE(preview().extractPreview()); // the sheet stays open
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(model->records()[0].kind, JobKind::extract);
    EXPECT_EQ(model->records()[0].format, ArchiveFormat::zip);
    EXPECT_EQ(model->records()[0].title, "b.txt");
    EXPECT_TRUE(model->records()[0].succeeded);
    EXPECT_EQ(readFile(model->records()[0].outputPath), "beta");
    EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("Ready: b.txt")));
    ASSERT_EQ(fakes.reveal->revealed.size(), 1U);
    EXPECT_EQ(fakes.reveal->revealed[0].front().toStdString(), model->records()[0].outputPath);

    // An entry path that would leave the folder is refused by name.
    preview().extractOne(plain, engine::ArchiveEntry{"../escape.txt", 1, false});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->banner(), Banner::failure(QStringLiteral("That path cannot be extracted.")));
    EXPECT_EQ(model->records().size(), 2U);
    EXPECT_FALSE(fs::exists(work() / "escape.txt"));
}

// An entry opened to look at goes read-only to the desktop's default application; one that could
// run a program is only shown in the file manager, and the notice says why.
TEST_F(PreviewTest, OpeningAnEntryNeverRunsAProgram)
{
    writeFile(work() / "run" / "notes.txt", "read me");
    writeFile(work() / "run" / "setup.txt", "#!/bin/sh\necho pwned\n");
    writeFile(work() / "run" / "App.desktop", "[Desktop Entry]\nExec=true\n");
    fs::copy_file("/bin/true", work() / "run" / "photo");
    runIn(work() / "run", {"zip", "-q", "../run.zip", "notes.txt", "setup.txt", "App.desktop", "photo"});
    auto model = makeModel();
    model->enqueue({.paths = {work() / "run.zip"}, .interactive = true, .action = WorkAction::extract()});
    ASSERT_TRUE(waitIdle(*model));
    const ArchivePreviewItem listed = item(0);
    for (const ArchiveEntry& entry : listed.entries) {
        runTask(preview().openEntry(listed.id, entry));
    }
    ASSERT_EQ(fakes.reveal->opened.size(), 1U);
    const fs::path opened = fakes.reveal->opened[0].toStdString();
    EXPECT_EQ(opened.filename(), "notes.txt");
    EXPECT_EQ(readFile(opened), "read me");
    EXPECT_EQ(fs::status(opened).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_EQ(fakes.reveal->revealed.size(), 3U);
    EXPECT_EQ(preview().notice(),
              QStringLiteral("photo could run a program: Tarvo shows it in the file manager instead of opening it."));
}

// Typing never waits for the search, and only the newest query's matches are shown.
TEST(EntrySearch, TheNewestQueryWins)
{
    auto table = std::make_shared<engine::EntryTable>();
    for (int i = 0; i < 300000; ++i) {
        table->add({.path = "folder-" + std::to_string(i / 100) + "/file-" + std::to_string(i) + ".txt"});
    }
    app::EntrySearch search;
    std::vector<std::size_t> shown;
    QObject::connect(&search, &app::EntrySearch::matchesChanged, [&] { shown.push_back(search.matches().size()); });
    search.search(table, QStringLiteral("file"));
    search.search(table, QStringLiteral("file-29999"));
    ASSERT_TRUE(spinUntil([&] { return !shown.empty(); }));
    EXPECT_EQ(shown, std::vector<std::size_t>{11});
    // A longer query looks among these; a blank one ends the search at once.
    search.search(table, QStringLiteral("FILE-299990"));
    ASSERT_TRUE(spinUntil([&] { return shown.size() == 2; }));
    EXPECT_EQ(search.matches(), std::vector<engine::EntryTable::Row>{299990});
    search.search(table, QStringLiteral(" "));
    EXPECT_FALSE(search.active());
    EXPECT_EQ(shown.size(), 3U);
}

} // namespace
} // namespace tarvo::test
