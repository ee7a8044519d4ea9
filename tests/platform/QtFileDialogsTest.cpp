#include "QtFileDialogs.h"

#include "TaskRunner.h"
#include "TestBus.h"
#include "TestSupport.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

class QtFileDialogsTest : public testing::Test
{
protected:
    QtFileDialogsTest()
    {
        writeFile(m_folder / "a.txt", "a");
        std::filesystem::create_directory(m_folder / "sub");
        m_request.message = QStringLiteral("Choose files to compress");
        m_request.acceptLabel = QStringLiteral("Compress");
        m_request.startDirectory = path("");
    }

    QString path(const char* name) const { return QString::fromStdString((m_folder / name).lexically_normal()); }

    static QFileDialog* shownPanel()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* panel = qobject_cast<QFileDialog*>(widget); panel != nullptr && panel->isVisible()) {
                return panel;
            }
        }
        return nullptr;
    }

    TempDir m_folder;
    platform::OpenRequest m_request;
    platform::QtFileDialogs m_dialogs;
};

TEST_F(QtFileDialogsTest, CancelOrDestructionGivesNone)
{
    auto task = m_dialogs.open(m_request);
    QPointer<QFileDialog> panel = shownPanel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->windowTitle(), m_request.message);
    EXPECT_EQ(panel->labelText(QFileDialog::Accept), m_request.acceptLabel);
    EXPECT_FALSE(panel->isModal());
    panel->reject();
    EXPECT_EQ(runTask(std::move(task), 5000), std::nullopt);
    EXPECT_TRUE(settleUntil([&] { return panel.isNull(); })) << "the panel was not deleted";

    // A signal of a deleted panel never comes: the task must not wait for it.
    auto second = m_dialogs.open(m_request);
    delete shownPanel();
    EXPECT_EQ(runTask(std::move(second), 5000), std::nullopt);
}

TEST_F(QtFileDialogsTest, FilesAndFoldersAreChosenTogether)
{
    m_request.folders = true;
    auto task = m_dialogs.open(m_request);
    QFileDialog* panel = shownPanel();
    ASSERT_NE(panel, nullptr);
    // Qt's own dialog would open "sub" here instead of answering.
    panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("\"a.txt\" \"sub\""));
    static_cast<QDialog*>(panel)->accept();
    EXPECT_EQ(runTask(std::move(task), 5000), QStringList({path("a.txt"), path("sub")}));
}

} // namespace
} // namespace tarvo::test
