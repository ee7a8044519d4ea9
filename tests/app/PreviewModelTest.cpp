#include "ModelTestSupport.h"
#include "engine/history/HistoryStore.h"

namespace tarvo::test {
namespace {

using app::AppModel;
using app::Banner;
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
        if (auto missing = missingTool({"zip", "unzip", "7zz", "lsar", "unar"})) {
            GTEST_SKIP() << missing.value() << " is not installed";
        }
        writeFile(work() / "src/Docs/a.txt", "alpha");
        writeFile(work() / "src/Docs/b.txt", "beta");
        writeFile(work() / "src/notes.txt", "plain");
        pack({"/usr/bin/zip", "-r", "-q", "../plain.zip", "Docs", "notes.txt"});
        pack({"/usr/bin/zip", "-r", "-q", "-P", "secret", "../locked.zip", "Docs"});
        pack({"/usr/bin/7zz", "a", "-bso0", "-psecret", "-mhe=on", "../hidden.7z", "Docs"});
    }

    void pack(std::vector<std::string> command)
    {
        std::vector<std::string> argv{"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", (work() / "src").string()};
        argv.insert(argv.end(), command.begin(), command.end());
        ASSERT_EQ(runProgram(argv).status, 0) << command[0];
    }

    const ArchivePreviewItem& item(const AppModel& model, std::size_t index)
    {
        return model.extractPreview()->items.at(index);
    }

    static bool waitListed(const AppModel& model)
    {
        return spinUntil([&] { return !model.listingID(); });
    }
};

TEST_F(PreviewTest, ExplicitExtractionListsOnlyTheArchives)
{
    auto model = makeModel();
    model->enqueue(urls({work() / "plain.zip", work() / "src/notes.txt"}), true, WorkAction::extract());
    ASSERT_TRUE(waitIdle(*model));

    ASSERT_TRUE(model->extractPreview());
    ASSERT_EQ(model->extractPreview()->items.size(), 1U);
    const auto& listed = item(*model, 0);
    EXPECT_EQ(listed.url, work() / "plain.zip");
    EXPECT_FALSE(listed.needsPassword);
    EXPECT_FALSE(listed.listingFailed);
    EXPECT_EQ(listed.entries.size(), 4U); // Docs, Docs/a.txt, Docs/b.txt, notes.txt
    EXPECT_EQ(model->banner(), Banner::idle());
    EXPECT_TRUE(model->records().empty());

    // Text files only: a failed extraction, no preview.
    model->closePreview();
    model->enqueue(urls({work() / "src/notes.txt"}), true, WorkAction::extract());
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_FALSE(model->extractPreview());
    EXPECT_EQ(model->banner(), Banner::failure(QStringLiteral("That is not a ZIP, RAR, 7Z, or tar.gz archive.")));
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(model->records()[0].kind, JobKind::extract);
}

TEST_F(PreviewTest, ProtectedArchivesAskForAPasswordAndShowTheirContentsWithIt)
{
    auto model = makeModel();
    model->enqueue(urls({work() / "locked.zip", work() / "hidden.7z", work() / "plain.zip"}), true,
                   WorkAction::extract());
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(model->extractPreview());
    const std::string previewID = model->extractPreview()->id;

    // Entry encryption: names readable, the password still needed.
    EXPECT_TRUE(item(*model, 0).needsPassword);
    EXPECT_FALSE(item(*model, 0).listingFailed);
    EXPECT_FALSE(item(*model, 0).entries.empty());
    // Header encryption: nothing readable without the password.
    const std::string hiddenID = item(*model, 1).id;
    EXPECT_TRUE(item(*model, 1).needsPassword);
    EXPECT_TRUE(item(*model, 1).listingFailed);
    EXPECT_TRUE(item(*model, 1).entries.empty());

    // A wrong password: the notice says so and the item stays as it was.
    model->setPreviewPassword(hiddenID, QStringLiteral("wrong"));
    model->refreshListing(hiddenID);
    ASSERT_TRUE(waitListed(*model));
    EXPECT_EQ(model->previewNotice(), QStringLiteral("Wrong password."));
    EXPECT_TRUE(item(*model, 1).listingFailed);

    // The right one, pressed twice quickly: one listing, and the entries appear.
    model->setPreviewPassword(hiddenID, QStringLiteral("secret"));
    QSignalSpy listings(model.get(), &AppModel::listingIDChanged);
    model->refreshListing(hiddenID);
    model->refreshListing(hiddenID);
    ASSERT_TRUE(waitListed(*model));
    EXPECT_EQ(listings.count(), 2); // set once, cleared once
    EXPECT_FALSE(model->previewNotice());
    EXPECT_FALSE(item(*model, 1).listingFailed);
    EXPECT_EQ(item(*model, 1).entries.size(), 3U);
    EXPECT_EQ(model->extractPreview()->id, previewID);

    // A re-listing that ends after the sheet closed changes nothing.
    model->refreshListing(item(*model, 2).id);
    model->closePreview();
    ASSERT_TRUE(waitListed(*model));
    EXPECT_FALSE(model->extractPreview());
}

// The preview's Test: one archive at a time, with the password typed for it, its verdict kept by
// item until the preview closes.
TEST_F(PreviewTest, TestingAnArchiveGivesItsVerdictWithItsPassword)
{
    auto model = makeModel();
    model->enqueue(urls({work() / "plain.zip", work() / "hidden.7z"}), true, WorkAction::extract());
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(model->extractPreview());
    const std::string plainID = item(*model, 0).id;
    const std::string hiddenID = item(*model, 1).id;
    const auto waitTested = [&] { return spinUntil([&] { return !model->testingID(); }); };

    model->testArchive(plainID);
    EXPECT_EQ(model->testingID(), plainID);
    model->testArchive(hiddenID); // while one runs, another waits for the button again
    ASSERT_TRUE(waitTested());
    ASSERT_EQ(model->previewTests().size(), 1U);
    EXPECT_TRUE(model->previewTests().at(plainID).sound);
    EXPECT_EQ(model->previewTests().at(plainID).verdict(), QStringLiteral("No errors found."));

    model->setPreviewPassword(hiddenID, QStringLiteral("wrong"));
    model->testArchive(hiddenID);
    ASSERT_TRUE(waitTested());
    EXPECT_FALSE(model->previewTests().at(hiddenID).sound);
    EXPECT_EQ(model->previewTests().at(hiddenID).verdict(), QStringLiteral("Wrong password."));
    model->setPreviewPassword(hiddenID, QStringLiteral("secret"));
    model->testArchive(hiddenID);
    ASSERT_TRUE(waitTested());
    EXPECT_TRUE(model->previewTests().at(hiddenID).sound);
    // Said in the language of the moment, not of the test.
    model->setLanguage(engine::AppLanguage::german);
    EXPECT_EQ(model->previewTests().at(plainID).verdict(), QStringLiteral("Keine Fehler gefunden."));
    model->setLanguage(engine::AppLanguage::english);

    model->closePreview();
    EXPECT_TRUE(model->previewTests().empty());
}

TEST_F(PreviewTest, AChosenNameEncodingListsAgainAndIsWhatLands)
{
    // "Привет.txt" as Windows in Russian stores it, with no UTF-8 flag.
    const std::string stored = "\xcf\xf0\xe8\xe2\xe5\xf2.txt";
    writeFile(work() / "src" / stored, "hi");
    pack({"/usr/bin/env", "LC_ALL=C", "/usr/bin/zip", "-q", "../legacy.zip", stored});
    auto model = makeModel();
    model->enqueue(urls({work() / "legacy.zip"}), true, WorkAction::extract());
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(model->extractPreview());
    const std::string id = item(*model, 0).id;
    EXPECT_EQ(item(*model, 0).nameEncoding, "Windows-1251");
    ASSERT_EQ(item(*model, 0).entries.size(), 1U);
    EXPECT_EQ(item(*model, 0).entries[0].path, "Привет.txt");

    model->setPreviewEncoding(id, "KOI8-R");
    ASSERT_TRUE(waitListed(*model));
    EXPECT_EQ(item(*model, 0).chosenEncoding, "KOI8-R");
    ASSERT_EQ(item(*model, 0).entries.size(), 1U);
    EXPECT_EQ(item(*model, 0).entries[0].path, "оПХБЕР.txt");
    model->confirmExtract();
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(readFile(fs::path(model->records()[0].outputPath) / "оПХБЕР.txt"), "hi");
}

TEST_F(PreviewTest, ConfirmingCollectsOnePasswordPerArchiveAndExtractsThemAll)
{
    auto model = makeModel();
    model->enqueue(urls({work() / "locked.zip", work() / "plain.zip"}), true, WorkAction::extract());
    ASSERT_TRUE(waitIdle(*model));
    const std::string lockedID = item(*model, 0).id;

    model->confirmExtract();
    EXPECT_EQ(model->previewNotice(), QStringLiteral("Enter the password for the protected archive."));
    EXPECT_TRUE(model->extractPreview());
    EXPECT_FALSE(model->isWorking());

    model->setPreviewPassword(lockedID, QStringLiteral("secret"));
    model->confirmExtract();
    EXPECT_FALSE(model->extractPreview());
    EXPECT_TRUE(model->previewPasswords().empty());
    EXPECT_FALSE(model->previewNotice());
    ASSERT_TRUE(model->isWorking());
    EXPECT_EQ(model->progressTotal(), 5); // two files in locked.zip, three in plain.zip
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
    model->enqueue(urls({work() / "locked.zip", work() / "plain.zip"}), true, WorkAction::extract());
    ASSERT_TRUE(waitIdle(*model));
    const ArchivePreviewItem locked = item(*model, 0);
    const ArchivePreviewItem plain = item(*model, 1);

    // Spaces are no password for a single entry.
    model->setPreviewPassword(locked.id, QStringLiteral("   "));
    model->extractOne(locked, locked.entries.front());
    EXPECT_EQ(model->previewNotice(), QStringLiteral("Enter the password for the protected archive."));
    EXPECT_FALSE(model->isWorking());

    model->setPreviewPassword(locked.id, QStringLiteral("secret"));
    const auto entry = std::find_if(locked.entries.begin(), locked.entries.end(),
                                    [](const auto& candidate) { return candidate.path == "Docs/b.txt"; });
    ASSERT_NE(entry, locked.entries.end());
    model->extractOne(locked, *entry);
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_TRUE(model->extractPreview()); // the sheet stays open
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
    model->extractOne(plain, engine::ArchiveEntry{"../escape.txt", 1, false});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->banner(), Banner::failure(QStringLiteral("That path cannot be extracted.")));
    EXPECT_EQ(model->records().size(), 2U);
    EXPECT_FALSE(fs::exists(work() / "escape.txt"));
}

} // namespace
} // namespace tarvo::test
