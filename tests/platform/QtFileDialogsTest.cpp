// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/freedesktop/QtFileDialogs.h"

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

QFileDialog* shownPanel()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* panel = qobject_cast<QFileDialog*>(widget); panel != nullptr && panel->isVisible()) {
            return panel;
        }
    }
    return nullptr;
}

TEST(QtFileDialogs, AnswersWithFilesAndFoldersOrWithNone)
{
    TempDir folder;
    writeFile(folder / "a.txt", "a");
    std::filesystem::create_directory(folder / "sub");
    const auto path = [&](const char* name) { return QString::fromStdString((folder / name).lexically_normal()); };
    platform::OpenRequest request;
    request.message = "Choose files to compress";
    request.acceptLabel = "Compress";
    request.startDirectory = path("");
    platform::QtFileDialogs dialogs;

    auto task = dialogs.open(request);
    QPointer<QFileDialog> panel = shownPanel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->windowTitle(), request.message);
    EXPECT_EQ(panel->labelText(QFileDialog::Accept), request.acceptLabel);
    EXPECT_FALSE(panel->isModal());
    panel->reject();
    EXPECT_EQ(runTask(std::move(task), 5000), std::nullopt);
    EXPECT_TRUE(settleUntil([&] { return panel.isNull(); })) << "the panel was not deleted";

    // A signal of a deleted panel never comes: the task must not wait for it.
    task = dialogs.open(request);
    delete shownPanel();
    EXPECT_EQ(runTask(std::move(task), 5000), std::nullopt);

    request.folders = true;
    task = dialogs.open(request);
    ASSERT_NE(shownPanel(), nullptr);
    // Qt's own dialog would open "sub" here instead of answering.
    shownPanel()->findChild<QLineEdit*>("fileNameEdit")->setText("\"a.txt\" \"sub\"");
    static_cast<QDialog*>(shownPanel())->accept();
    EXPECT_EQ(runTask(std::move(task), 5000), QStringList({path("a.txt"), path("sub")}));
}

} // namespace
} // namespace tarvo::test
