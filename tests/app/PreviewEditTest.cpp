// SPDX-License-Identifier: GPL-3.0-or-later

// Archives changed in place from the preview, as jobs of the queue, with the real tools.
#include "ModelTestSupport.h"
#include "engine/history/HistoryStore.h"

#include <algorithm>

namespace tarvo::test {
namespace {

using app::Banner;
using engine::ArchiveEntry;
using engine::ClashChoice;
using engine::JobKind;
using engine::WorkAction;
namespace fs = std::filesystem;

class PreviewEditTest : public ModelTest
{
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        TARVO_SKIP_WITHOUT("zip", "unzip", "7zz", "lsar", "unar");
        writeFile(work() / "src/Docs/a.txt", "alpha");
        writeFile(work() / "src/Docs/b.txt", "beta");
        writeFile(work() / "src/notes.txt", "plain");
        writeFile(work() / "new/a.txt", "replaced!");
        writeFile(work() / "new/c.txt", "gamma");
        runIn(work() / "src", {"zip", "-r", "-q", "../plain.zip", "Docs", "notes.txt"});
        runIn(work() / "src", {"7zz", "a", "-bso0", "-psecret", "-mhe=on", "../hidden.7z", "Docs", "notes.txt"});
    }

    // The preview of these archives, listed.
    std::unique_ptr<app::AppModel> previewOf(std::vector<fs::path> archives)
    {
        auto model = makeModel();
        model->enqueue({.paths = std::move(archives), .interactive = true, .action = WorkAction::extract()});
        EXPECT_TRUE(waitIdle(*model));
        EXPECT_TRUE(preview().extractPreview());
        return model;
    }

    const engine::ArchivePreviewItem& item(std::size_t index) const
    {
        return preview().extractPreview()->items.at(index);
    }

    // The job done and the archive listed again.
    bool settled(const app::AppModel& model) const
    {
        return waitIdle(model) && spinUntil([&] { return !preview().listingID() && !preview().editingID(); });
    }

    std::vector<std::string> paths(std::size_t index) const
    {
        std::vector<std::string> listed;
        for (const ArchiveEntry& entry : item(index).entries) {
            std::string path = entry.path;
            if (!path.empty() && path.back() == '/') {
                path.pop_back();
            }
            listed.push_back(path);
        }
        std::sort(listed.begin(), listed.end());
        return listed;
    }

    std::optional<std::int64_t> sizeOf(std::size_t index, const std::string& path) const
    {
        for (const ArchiveEntry& entry : item(index).entries) {
            if (entry.path == path) {
                return entry.byteSize;
            }
        }
        return std::nullopt;
    }
};

TEST_F(PreviewEditTest, AddedItemsGoIntoTheSelectedRowsFolderAndAClashIsAskedFirst)
{
    // A folder row takes them in, a file row puts them beside it, no row: the top.
    EXPECT_EQ(app::PreviewModel::folderFor(ArchiveEntry{.path = "Docs/", .isDirectory = true}), "Docs");
    EXPECT_EQ(app::PreviewModel::folderFor(ArchiveEntry{.path = "Docs/a.txt"}), "Docs");
    EXPECT_EQ(app::PreviewModel::folderFor(ArchiveEntry{.path = "notes.txt"}), "");
    EXPECT_EQ(app::PreviewModel::folderFor(std::nullopt), "");

    auto model = previewOf({work() / "plain.zip"});
    const std::string itemID = item(0).id;
    ASSERT_FALSE(preview().editBlocker(itemID));
    ASSERT_TRUE(preview().canEdit(itemID));

    // Through the open panel, into Docs: no clash, so no question.
    fakes.dialogs->answers.push_back(QStringList{QString::fromStdString((work() / "new/c.txt").string())});
    preview().chooseItemsToAdd(itemID, "Docs");
    ASSERT_TRUE(settled(*model));
    EXPECT_EQ(fakes.dialogs->requests.back().message, QStringLiteral("Add…"));
    EXPECT_EQ(paths(0), (std::vector<std::string>{"Docs", "Docs/a.txt", "Docs/b.txt", "Docs/c.txt", "notes.txt"}));
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(model->records()[0].kind, JobKind::edit);
    EXPECT_EQ(model->records()[0].title, "plain.zip");
    EXPECT_TRUE(model->records()[0].succeeded);
    EXPECT_EQ(engine::HistoryStore::load(historyFile()), model->records());
    EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("Ready: plain.zip")));

    // "a.txt" into Docs is already there: the question, and Cancel leaves the archive as it was.
    const std::string before = readFile(work() / "plain.zip");
    preview().addItems(itemID, {work() / "new/a.txt"}, "Docs");
    ASSERT_TRUE(spinUntil([&] { return preview().clashQuestion().has_value(); }));
    EXPECT_EQ(preview().clashQuestion()->entries, std::vector<std::string>{"Docs/a.txt"});
    EXPECT_EQ(preview().clashQuestion()->text, QStringLiteral("“plain.zip” already holds “Docs/a.txt”."));
    EXPECT_EQ(preview().editingID(), itemID);
    EXPECT_FALSE(preview().canEdit(itemID));
    preview().answerClash(std::nullopt);
    EXPECT_FALSE(preview().editingID());
    EXPECT_FALSE(model->isWorking());
    EXPECT_EQ(readFile(work() / "plain.zip"), before);
    EXPECT_EQ(model->records().size(), 1U);

    // Keep both gives the new one a free name; Replace takes the old one's place.
    preview().addItems(itemID, {work() / "new/a.txt"}, "Docs");
    ASSERT_TRUE(spinUntil([&] { return preview().clashQuestion().has_value(); }));
    preview().answerClash(ClashChoice::keepBoth);
    ASSERT_TRUE(settled(*model));
    EXPECT_EQ(sizeOf(0, "Docs/a 2.txt"), 9);
    EXPECT_EQ(sizeOf(0, "Docs/a.txt"), 5);
    preview().addItems(itemID, {work() / "new/a.txt"}, "Docs");
    ASSERT_TRUE(spinUntil([&] { return preview().clashQuestion().has_value(); }));
    preview().answerClash(ClashChoice::replace);
    ASSERT_TRUE(settled(*model));
    EXPECT_EQ(sizeOf(0, "Docs/a.txt"), 9);
    EXPECT_EQ(model->records().size(), 3U);

    // Nor can the folder holding it: refused while the clashes are looked for, in the preview's notice.
    const std::string kept = readFile(work() / "plain.zip");
    preview().addItems(itemID, {work()}, "");
    ASSERT_TRUE(settled(*model));
    EXPECT_EQ(preview().notice(), QStringLiteral("An archive cannot be added to itself."));
    EXPECT_EQ(model->records().size(), 3U);
    EXPECT_EQ(readFile(work() / "plain.zip"), kept);
}

TEST_F(PreviewEditTest, DeletingAndRenamingUseTheTypedPasswordAndRefuseBadNames)
{
    auto model = previewOf({work() / "hidden.7z"});
    const std::string itemID = item(0).id;
    ASSERT_TRUE(item(0).listingFailed);
    // Its names are hidden until the password is typed and the archive listed again.
    EXPECT_FALSE(preview().canEdit(itemID));
    preview().setPassword(itemID, QStringLiteral("secret"));
    preview().refreshListing(itemID);
    ASSERT_TRUE(spinUntil([&] { return !preview().listingID(); }));
    ASSERT_TRUE(preview().canEdit(itemID));

    // A folder counts with everything below it, an entry chosen twice once.
    EXPECT_EQ(preview().removalCount(itemID, {"Docs", "Docs/a.txt"}), 3);
    EXPECT_EQ(preview().removalCount(itemID, {"notes.txt"}), 1);

    // Names that would leave the folder are refused before anything runs.
    for (const char* bad : {"", ".", "..", "x/y"}) {
        EXPECT_FALSE(preview().renameEntry(itemID, "notes.txt", QString::fromUtf8(bad))) << bad;
        EXPECT_EQ(preview().notice(), QStringLiteral("A name cannot be empty, “.” or “..”, or contain “/”."));
        EXPECT_FALSE(model->isWorking());
    }
    ASSERT_TRUE(preview().renameEntry(itemID, "notes.txt", QStringLiteral("memo.txt")));
    ASSERT_TRUE(settled(*model));
    EXPECT_FALSE(preview().notice());
    preview().removeEntries(itemID, {"Docs"});
    ASSERT_TRUE(settled(*model));
    EXPECT_EQ(paths(0), std::vector<std::string>{"memo.txt"});
    EXPECT_EQ(model->records().size(), 2U);

    // Still protected, names and all: without the password nothing lists.
    ProgramResult listed = runProgram({"/usr/bin/7zz", "l", "-p", (work() / "hidden.7z").string()});
    EXPECT_NE(listed.status, 0);
    listed = runProgram({"/usr/bin/7zz", "l", "-psecret", (work() / "hidden.7z").string()});
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.output.find("memo.txt"), std::string::npos);
}

// The section's Cancel reaches the job's tool: the archive stays as it was and nothing is recorded.
TEST_F(PreviewEditTest, CancelStopsTheRunningChange)
{
    // A 7-Zip that never finishes by itself.
    writeScript(toolDirectory() / "7zz", "exec sleep 30\n");
    auto model = previewOf({work() / "plain.zip"});
    const std::string itemID = item(0).id;
    const std::string before = readFile(work() / "plain.zip");
    preview().removeEntries(itemID, {"notes.txt"});
    ASSERT_TRUE(model->isWorking());
    EXPECT_EQ(model->banner(), Banner::working(QStringLiteral("Changing the archive…")));
    spinUntil([] { return false; }, 500);
    preview().cancelEdit();
    ASSERT_TRUE(waitIdle(*model, 10000));
    EXPECT_FALSE(preview().editingID());
    EXPECT_EQ(model->banner(), Banner::idle());
    EXPECT_TRUE(model->records().empty());
    EXPECT_EQ(readFile(work() / "plain.zip"), before);
}

TEST_F(PreviewEditTest, AnArchiveCutIntoPartsCannotBeChanged)
{
    writeFile(work() / "big/noise.bin", noise(300'000));
    runIn(work() / "big", {"7zz", "a", "-bso0", "-mx0", "-v100k", "../Parts.7z", "noise.bin"});
    auto model = previewOf({work() / "Parts.7z.001"});
    const std::string itemID = item(0).id;
    EXPECT_EQ(preview().editBlocker(itemID), QStringLiteral("An archive cut into parts cannot be changed."));
    EXPECT_FALSE(preview().canEdit(itemID));
    preview().addItems(itemID, {work() / "new/c.txt"}, "");
    preview().removeEntries(itemID, {"noise.bin"});
    EXPECT_FALSE(preview().editingID());
    EXPECT_FALSE(model->isWorking());
}

} // namespace
} // namespace tarvo::test
