// SPDX-License-Identifier: GPL-3.0-or-later

// Rows dragged out of the preview: unpacked when the drop asks, once, and gone with the preview.
#include "ModelTestSupport.h"
#include "ui/preview/ExtractPreviewDialog.h"
#include "ui/preview/PreviewSection.h"

#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QTest>

namespace tarvo::test {
namespace {

using engine::WorkAction;
namespace fs = std::filesystem;

class PreviewDragTest : public ModelTest
{
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        TARVO_SKIP_WITHOUT("zip", "unzip");
        writeFile(work() / "src/Docs/a.txt", "alpha");
        writeFile(work() / "src/notes.txt", "plain");
        runIn(work() / "src", {"zip", "-qr", "../plain.zip", "Docs", "notes.txt"});
        runIn(work() / "src", {"zip", "-q", "-P", "secret", "../locked.zip", "notes.txt"});
    }

    // A drag of the rows that show these entries.
    static std::unique_ptr<QMimeData> drag(ui::PreviewSection* section, const QStringList& entries)
    {
        const QAbstractItemModel* rows = section->entries()->model();
        QModelIndexList chosen;
        for (int row = 0; row < rows->rowCount(); ++row) {
            if (entries.contains(rows->index(row, 0).data().toString())) {
                chosen << rows->index(row, 0);
            }
        }
        return std::unique_ptr<QMimeData>(rows->mimeData(chosen));
    }

    // The folders drags unpacked into, one per drag. They may be going meanwhile.
    std::vector<fs::path> dragFolders() const
    {
        std::vector<fs::path> folders;
        std::error_code error;
        for (fs::directory_iterator run(m_home / "cache/Tarvo/drag", error), end; !error && run != end;
             run.increment(error)) {
            std::error_code inner;
            for (fs::directory_iterator folder(run->path(), inner); !inner && folder != end; folder.increment(inner)) {
                folders.push_back(folder->path());
            }
        }
        return folders;
    }

    static fs::path local(const QUrl& url) { return url.toLocalFile().toStdString(); }
};

TEST_F(PreviewDragTest, RowsUnpackWhenTheDropAsksOnceAndGoWithThePreview)
{
    auto model = makeModel();
    model->enqueue(
        {.paths = {work() / "plain.zip", work() / "locked.zip"}, .interactive = true, .action = WorkAction::extract()});
    ASSERT_TRUE(waitIdle(*model));
    auto dialog = std::make_unique<ui::ExtractPreviewDialog>(preview(), nullptr);
    dialog->show();
    ASSERT_EQ(dialog->sections().size(), 2U);
    ui::PreviewSection* plain = dialog->sections()[0];
    ui::PreviewSection* locked = dialog->sections()[1];

    // Starting a drag offers files and unpacks nothing.
    const auto notes = drag(plain, {QStringLiteral("notes.txt")});
    ASSERT_TRUE(notes);
    EXPECT_EQ(notes->formats(), QStringList{QStringLiteral("text/uri-list")});
    EXPECT_TRUE(dragFolders().empty());

    // The drop's request unpacks it; asked again, the same drag answers the same without unpacking.
    const QList<QUrl> first = notes->urls();
    ASSERT_EQ(first.size(), 1);
    EXPECT_EQ(local(first[0]).filename(), "notes.txt");
    EXPECT_EQ(readFile(local(first[0])), "plain");
    EXPECT_EQ(QString::fromUtf8(notes->data(QStringLiteral("text/uri-list"))), first[0].toString() + "\r\n");
    EXPECT_EQ(dragFolders().size(), 1U);

    // Two rows, a folder among them, in a folder of that drag's own.
    const QList<QUrl> both = drag(plain, {QStringLiteral("Docs"), QStringLiteral("notes.txt")})->urls();
    ASSERT_EQ(both.size(), 2);
    EXPECT_EQ(readFile(local(both[0]) / "a.txt"), "alpha");
    EXPECT_EQ(readFile(local(both[1])), "plain");
    EXPECT_EQ(dragFolders().size(), 2U);

    // A protected archive: no files without its password or with a wrong one, and the notice says why.
    EXPECT_TRUE(drag(locked, {QStringLiteral("notes.txt")})->urls().isEmpty());
    EXPECT_EQ(preview().notice(), QStringLiteral("Enter the password for the protected archive."));
    QTest::keyClicks(locked->passwordField(), QStringLiteral("wrong"));
    EXPECT_TRUE(drag(locked, {QStringLiteral("notes.txt")})->urls().isEmpty());
    EXPECT_EQ(preview().notice(), QStringLiteral("Wrong password."));
    // The failed drag's folder goes at once, off the main thread.
    EXPECT_TRUE(spinUntil([&] { return dragFolders().size() == 2U; }));
    locked->passwordField()->clear();
    QTest::keyClicks(locked->passwordField(), QStringLiteral("secret"));
    const QList<QUrl> unlocked = drag(locked, {QStringLiteral("notes.txt")})->urls();
    ASSERT_EQ(unlocked.size(), 1);
    EXPECT_EQ(readFile(local(unlocked[0])), "plain");
    EXPECT_FALSE(preview().notice());

    // Closing the preview removes what the drags unpacked; quitting, the rest of the space.
    dialog->reject();
    EXPECT_TRUE(spinUntil([&] { return dragFolders().empty(); }));
    dialog.reset();
    model.reset();
    m_previews.clear();
    EXPECT_TRUE(fs::is_empty(m_home / "cache/Tarvo/drag"));
}

} // namespace
} // namespace tarvo::test
