// SPDX-License-Identifier: GPL-3.0-or-later

// The real views over a real model, with fake desktop pieces and the real archive tools.
#include "ui/windows/Windows.h"

#include "ModelTestSupport.h"
#include "engine/history/HistoryStore.h"
#include "ui/historylist/HistoryListView.h"
#include "ui/preview/EntryListModel.h"
#include "ui/preview/ExtractPreviewDialog.h"
#include "ui/preview/PreviewSection.h"
#include "ui/tray/MenuBarView.h"
#include "ui/tray/TrayController.h"
#include "ui/tray/TrayPanel.h"
#include "ui/windows/AboutWindow.h"
#include "ui/windows/DropStageView.h"
#include "ui/windows/MainWindow.h"
#include "ui/windows/SettingsWindow.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

namespace tarvo::test {
namespace {

using app::AppModel;
using engine::ArchiveFormat;
namespace fs = std::filesystem;

// A drag that enters the widget and is dropped; whether the drop was taken.
bool drop(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent dropped(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &dropped);
    return dropped.isAccepted();
}

// What a screen reader calls a control: its name, or on Linux for a combo box its label's text.
bool called(QWidget* control, const QString& name)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    if (accessible == nullptr) {
        return false;
    }
    if (accessible->text(QAccessible::Name) == name) {
        return true;
    }
    for (const auto& [label, relation] : accessible->relations(QAccessible::Label)) {
        if (label->text(QAccessible::Name) == name) {
            return true;
        }
    }
    return false;
}

template <typename Widget> Widget* named(const QWidget* root, const QString& name)
{
    for (Widget* widget : root->findChildren<Widget*>()) {
        if (!qobject_cast<QLabel*>(widget) && called(widget, name)) {
            return widget;
        }
    }
    return nullptr;
}

// Two clicks on a row, as a person makes them: a press and release, then the double-click.
void doubleClick(QListView* list, int row)
{
    const QPoint centre = list->visualRect(list->model()->index(row, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
}

bool shows(const QWidget* root, const QString& text)
{
    for (const QLabel* label : root->findChildren<QLabel*>()) {
        if (label->isVisible() && label->text() == text) {
            return true;
        }
    }
    return false;
}

class WindowsTest : public ModelTest
{
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        TARVO_SKIP_WITHOUT("zip", "unzip", "lsar", "unar");
    }
};

TEST_F(WindowsTest, DropsQueueLocalFilesOnlyAndNeverWhileAJobRuns)
{
    // A 7-Zip that reports one file done, then a percentage redrawn after backspaces, and then
    // waits to be stopped.
    writeScript(toolDirectory() / "7zz", "printf '  5%% 1 + a.txt\\b\\b\\b 40%% 1 + b.txt\\b'\nexec sleep 60\n");
    auto model = makeModel();
    ui::MainWindow window(*model, preview(), {});
    window.show();
    ui::DropStageView* stage = window.stage();

    EXPECT_FALSE(drop(stage, {QUrl(QStringLiteral("https://example.com/a.zip"))}));
    EXPECT_FALSE(model->isWorking());

    writeFile(work() / "a.txt", "a");
    writeFile(work() / "b.txt", "b");
    EXPECT_TRUE(drop(stage, urls({work() / "a.txt", work() / "b.txt"})));
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_TRUE(fs::exists(model->records()[0].outputPath));
    EXPECT_EQ(window.history()->list()->model()->rowCount(), 1);
    // The finished job's text is the title; the subtitle speaks of the password.
    EXPECT_TRUE(shows(stage, model->banner().text));
    EXPECT_TRUE(shows(stage, QStringLiteral("The password stays in memory and is never saved.")));

    named<QToolButton>(stage, QStringLiteral("7Z"))->click();
    EXPECT_EQ(model->format(), ArchiveFormat::sevenZip);
    for (const char* name : {"1", "2", "3", "4"}) {
        writeFile(work() / "four" / name, name);
    }
    EXPECT_TRUE(drop(stage, urls({work() / "four"})));
    ASSERT_TRUE(spinUntil([&] { return model->progress().done == 1; }));
    // The bar follows 7-Zip's percentage where it is ahead of the count of files.
    ASSERT_TRUE(spinUntil([&] { return model->progress().percent == 40; }));
    EXPECT_DOUBLE_EQ(model->progressFraction().value_or(0), 0.4);
    auto* cancel = named<QPushButton>(stage, QStringLiteral("Cancel"));
    ASSERT_TRUE(cancel != nullptr && cancel->isVisible());
    EXPECT_TRUE(shows(stage, QStringLiteral("1 of 4")));
    for (const char* control : {"Archive name", "Password, if needed", "Compression", "ZIP"}) {
        const QWidget* widget = named<QWidget>(stage, QString::fromUtf8(control));
        EXPECT_TRUE(widget != nullptr && !widget->isEnabled()) << control;
    }
    EXPECT_FALSE(drop(stage, urls({work() / "b.txt"})));

    // Cancelled: nothing recorded, and the refused drop did not start a second job.
    cancel->click();
    ASSERT_TRUE(waitIdle(*model, 10000));
    EXPECT_EQ(model->records().size(), 1U);
    EXPECT_TRUE(named<QLineEdit>(stage, QStringLiteral("Archive name"))->isEnabled());
    EXPECT_FALSE(cancel->isVisible());
}

TEST_F(WindowsTest, OptionsBindBothWaysAndTheNotesFollowThem)
{
    auto model = makeModel();
    ui::MainWindow window(*model, preview(), {});
    window.show();
    auto* name = named<QLineEdit>(&window, QStringLiteral("Archive name"));
    auto* password = named<QLineEdit>(&window, QStringLiteral("Password, if needed"));
    auto* level = named<QComboBox>(&window, QStringLiteral("Compression"));
    ASSERT_TRUE(name && password && level);

    QTest::keyClicks(name, QStringLiteral("Trip/2024"));
    EXPECT_EQ(model->archiveName(), QStringLiteral("Trip/2024"));
    model->setArchiveName(QStringLiteral("Other"));
    EXPECT_EQ(name->text(), QStringLiteral("Other"));
    model->setLevel(engine::CompressionLevel::maximum);
    EXPECT_EQ(level->currentText(), QStringLiteral("Maximum"));

    const QString tarNote = QStringLiteral("tar.gz does not use a password.");
    named<QToolButton>(&window, QStringLiteral("tar.gz"))->click();
    EXPECT_FALSE(shows(&window, tarNote));
    // Typed as one key event carrying the text, as an input method delivers it.
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("пароль"));
    QCoreApplication::sendEvent(password, &typed);
    EXPECT_EQ(model->archivePassword(), QStringLiteral("пароль"));
    EXPECT_TRUE(shows(&window, tarNote));
    model->setArchivePassword(QString());
    EXPECT_TRUE(password->text().isEmpty());
    EXPECT_FALSE(shows(&window, tarNote));

    model->setFormat(ArchiveFormat::rar);
    EXPECT_EQ(shows(&window, QStringLiteral("Creating RAR needs the rar tool. You can install it from Settings.")),
              !model->tools().creator);
    model->setAskForDestination(true);
    EXPECT_TRUE(shows(&window, QStringLiteral("When this is off, the result is saved next to the files.")));
    model->setAskForDestination(false);
    EXPECT_TRUE(shows(&window, QStringLiteral("The result is saved next to the files.")));
}

TEST_F(WindowsTest, AFailedJobsAlertOffersTheSettings)
{
    auto model = makeModel();
    if (model->tools().creator) {
        GTEST_SKIP() << "rar is installed here";
    }
    int settingsOpened = 0;
    ui::MainWindow window(*model, preview(), {[&] { ++settingsOpened; }, {}, {}});
    window.show();
    model->setFormat(ArchiveFormat::rar);
    writeFile(work() / "a.txt", "a");
    // Closed before the job fails (which may be at once, within the drop), the window comes back to
    // show the failure.
    window.close();
    ASSERT_TRUE(drop(window.stage(), urls({work() / "a.txt"})));
    ASSERT_TRUE(waitIdle(*model));

    EXPECT_TRUE(window.isVisible());
    ASSERT_TRUE(window.alert() != nullptr && window.alert()->isVisible());
    EXPECT_EQ(window.alert()->informativeText(), *alertText(*model));
    ASSERT_TRUE(window.alertSettingsButton() != nullptr);
    window.alertSettingsButton()->click();
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_FALSE(alertText(*model));
}

TEST_F(WindowsTest, ThePreviewListsEachArchiveWithItsOwnPassword)
{
    for (int i = 0; i < 5000; ++i) {
        writeFile(work() / "many" / ("f" + std::to_string(i) + ".txt"), "x");
    }
    writeFile(work() / "Docs/a.txt", "alpha");
    runIn(work(), {"zip", "-qr", "many.zip", "many"});
    runIn(work(), {"zip", "-qr", "-P", "one", "first.zip", "Docs"});
    runIn(work(), {"zip", "-qr", "-P", "two", "second.zip", "Docs"});
    fs::create_symlink("/etc", work() / "up");
    runIn(work(), {"bsdtar", "-czPf", "hostile.tar.gz", "-s", ",^Docs/a.txt,../evil.txt,", "Docs/a.txt", "up"});
    auto model = makeModel();
    ui::MainWindow window(*model, preview(), {});
    window.show();
    ASSERT_TRUE(drop(window.stage(), urls({work() / "many.zip", work() / "first.zip", work() / "second.zip",
                                           work() / "hostile.tar.gz"})));
    // Closed while the archives are read, the window comes back with one preview.
    window.close();
    ASSERT_TRUE(spinUntil([&] { return window.preview() != nullptr; }));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.findChildren<ui::ExtractPreviewDialog*>().size(), 1);
    ui::ExtractPreviewDialog* dialog = window.preview();
    ASSERT_EQ(dialog->sections().size(), 4U);
    EXPECT_TRUE(dialog->isVisible());
    // What the listing found before anything is written, only where there is something to tell.
    EXPECT_EQ(dialog->sections()[3]->safetyNote()->text(),
              QStringLiteral("Entries outside the folder (../ or a full path): 1. They will not be written there.\n"
                             "Links pointing outside the folder: 1."));
    EXPECT_TRUE(dialog->sections()[3]->safetyNote()->isVisible());
    EXPECT_FALSE(dialog->sections()[0]->safetyNote()->isVisible());
    // A drop while the preview waits would replace it unseen.
    EXPECT_FALSE(drop(window.stage(), urls({work() / "Docs/a.txt"})));

    ui::PreviewSection* many = dialog->sections()[0];
    EXPECT_EQ(many->entries()->model()->rowCount(), ui::EntryListModel::kShownEntries);
    EXPECT_TRUE(shows(many, QStringLiteral("200 of 5001")));
    EXPECT_FALSE(many->passwordField()->isVisible());

    // The search looks through every entry, not the 200 shown; a blank field shows those again.
    QTest::keyClicks(many->findField(), QStringLiteral("F4999"));
    ASSERT_TRUE(spinUntil([&] { return shows(many, QStringLiteral("1 of 5001")); }));
    EXPECT_EQ(many->entries()->model()->index(0, 0).data().toString(), QStringLiteral("many/f4999.txt"));
    many->findField()->setText(QStringLiteral("f4?9*"));
    ASSERT_TRUE(spinUntil([&] { return shows(many, QStringLiteral("110 of 5001")); }));
    EXPECT_EQ(many->entries()->model()->rowCount(), 110);
    many->findField()->clear();
    EXPECT_EQ(many->entries()->model()->rowCount(), ui::EntryListModel::kShownEntries);
    EXPECT_TRUE(shows(many, QStringLiteral("200 of 5001")));
    EXPECT_EQ(many->findField()->accessibleName(), QStringLiteral("Find in archive"));

    ui::PreviewSection* first = dialog->sections()[1];
    ui::PreviewSection* second = dialog->sections()[2];
    QTest::keyClicks(first->passwordField(), QStringLiteral("one"));
    EXPECT_TRUE(second->passwordField()->text().isEmpty());
    EXPECT_EQ(preview().passwords().size(), 1U);
    EXPECT_EQ(preview().passwords().at(first->itemID()), QStringLiteral("one"));

    // A language switch with the preview open rewrites it at once.
    model->setLanguage(tarvo::test::languageNamed("de"));
    EXPECT_EQ(dialog->extractButton()->text(), QStringLiteral("Entpacken"));
    model->setLanguage(engine::AppLanguage::english());

    // A double-click takes out that one entry; the preview stays.
    QListView* list = many->entries();
    const QString entry = list->model()->index(3, 0).data().toString();
    doubleClick(list, 3);
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(model->records()[0].title, fs::path(entry.toStdString()).filename().string());
    EXPECT_TRUE(window.preview() != nullptr);

    // Ctrl+A takes every match of a search; "Extract selected" unpacks exactly those, with their paths.
    QTest::keyClicks(many->findField(), QStringLiteral("f499"));
    ASSERT_TRUE(spinUntil([&] { return shows(many, QStringLiteral("11 of 5001")); }));
    EXPECT_FALSE(many->extractSelectedButton()->isEnabled());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(many->extractSelectedButton()->isEnabled());
    QTest::mouseClick(many->extractSelectedButton(), Qt::LeftButton);
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_EQ(model->records().size(), 2U);
    const fs::path several = model->records()[0].outputPath;
    EXPECT_EQ(tarvo::test::namesIn(several), std::vector<std::string>{"many"});
    EXPECT_EQ(tarvo::test::namesIn(several / "many").size(), 11U);
    EXPECT_TRUE(fs::exists(several / "many" / "f4995.txt"));

    // Escape closes it and forgets the passwords; a size the user gave it is the next preview's.
    dialog->resize(620, 520);
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_FALSE(preview().extractPreview());
    EXPECT_TRUE(preview().passwords().empty());
    EXPECT_TRUE(spinUntil([&] { return window.preview() == nullptr; }));
    EXPECT_EQ(model->previewSize(), QSize(620, 520));
    ASSERT_TRUE(drop(window.stage(), urls({work() / "many.zip"})));
    ASSERT_TRUE(spinUntil([&] { return window.preview() != nullptr; }));
    EXPECT_EQ(window.preview()->size(), QSize(620, 520));
}

// Add…, a drop, Delete and F2 in the preview, each after its question; the archive listed anew after each.
TEST_F(WindowsTest, ThePreviewChangesAnArchiveAfterAsking)
{
    TARVO_SKIP_WITHOUT("7zz");
    writeFile(work() / "Docs/a.txt", "alpha");
    writeFile(work() / "Docs/b.txt", "beta");
    writeFile(work() / "notes.txt", "plain");
    writeFile(work() / "new/a.txt", "new");
    runIn(work(), {"zip", "-qr", "docs.zip", "Docs", "notes.txt"});
    auto model = makeModel();
    ui::MainWindow window(*model, preview(), {});
    window.show();
    ASSERT_TRUE(drop(window.stage(), urls({work() / "docs.zip"})));
    ASSERT_TRUE(spinUntil([&] { return window.preview() != nullptr; }));
    ui::PreviewSection* section = window.preview()->sections()[0];
    EXPECT_EQ(section->addButton()->text(), QStringLiteral("Add…"));
    ASSERT_TRUE(section->addButton()->isEnabled()) << section->addButton()->toolTip().toStdString();
    QListView* list = section->entries();
    const auto rowOf = [list](const QString& path) {
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            if (list->model()->index(row, 0).data().toString() == path) {
                return list->model()->index(row, 0);
            }
        }
        return QModelIndex();
    };
    const auto press = [](QMessageBox* box, const QString& label) {
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == label) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << label.toStdString();
    };
    const auto settled = [&] {
        return waitIdle(*model) && spinUntil([&] { return !preview().listingID() && !preview().editingID(); });
    };

    // Dropped with the folder's row selected, into it, where "a.txt" is: the question, and Cancel.
    list->setFocus();
    list->setCurrentIndex(rowOf(QStringLiteral("Docs/")).isValid() ? rowOf(QStringLiteral("Docs/"))
                                                                   : rowOf(QStringLiteral("Docs")));
    const std::string before = readFile(work() / "docs.zip");
    ASSERT_TRUE(drop(section, urls({work() / "new/a.txt"})));
    ASSERT_TRUE(spinUntil([&] { return section->clashQuestion() != nullptr; }));
    EXPECT_EQ(section->clashQuestion()->text(), QStringLiteral("“docs.zip” already holds “Docs/a.txt”."));
    press(section->clashQuestion(), QStringLiteral("Cancel"));
    EXPECT_FALSE(preview().editingID());
    EXPECT_EQ(readFile(work() / "docs.zip"), before);

    // Delete on the folder: the confirmation counts what is below it.
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_TRUE(section->deleteConfirmation() != nullptr);
    EXPECT_EQ(section->deleteConfirmation()->text(),
              QStringLiteral("Entries to remove from “docs.zip”: 3. This cannot be undone."));
    press(section->deleteConfirmation(), QStringLiteral("Delete"));
    ASSERT_TRUE(settled());
    ASSERT_EQ(list->model()->rowCount(), 1);

    // F2 opens the name in place; a bad one is refused with its line, a good one renames.
    list->setCurrentIndex(list->model()->index(0, 0));
    QTest::keyClick(list, Qt::Key_F2);
    auto* editor = list->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor != nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("notes.txt"));
    editor->setText(QStringLiteral(".."));
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits on its next turn.
    QCoreApplication::processEvents();
    EXPECT_TRUE(shows(window.preview(), QStringLiteral("A name cannot be empty, “.” or “..”, or contain “/”.")));
    EXPECT_FALSE(model->isWorking());
    // The closed editor goes first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::keyClick(list, Qt::Key_F2);
    editor = list->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor != nullptr);
    editor->setText(QStringLiteral("memo.txt"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_TRUE(settled());
    EXPECT_EQ(list->model()->index(0, 0).data().toString(), QStringLiteral("memo.txt"));
    ASSERT_EQ(model->records().size(), 2U);
    EXPECT_EQ(model->records()[0].kind, engine::JobKind::edit);
}

TEST_F(WindowsTest, HistoryRowsAndTheTrayPanelShowTheNewestRecords)
{
    std::vector<engine::ArchiveRecord> records;
    for (int i = 0; i < 10; ++i) {
        records.push_back(engine::ArchiveRecord::make(engine::JobKind::compress, ArchiveFormat::zip,
                                                      "r" + std::to_string(i) + ".zip",
                                                      (work() / ("gone" + std::to_string(i))).string(), i != 2));
    }
    engine::HistoryStore::save(records);
    auto model = makeModel();
    ui::HistoryListView history(*model);
    ui::MenuBarView panel(*model);
    history.resize(600, 600);
    history.show();
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&history));

    const QList<QPushButton*> newest = panel.recordButtons();
    ASSERT_EQ(newest.size(), ui::MenuBarView::kRecordCount);
    EXPECT_EQ(newest[3]->text(), QStringLiteral("r3.zip"));
    newest[0]->click();
    ASSERT_EQ(fakes.reveal->revealed.size(), 1U);
    // Gone from disk: handed on as it is, no error.
    EXPECT_EQ(fakes.reveal->revealed[0], QStringList{QString::fromStdString(records[0].outputPath)});
    EXPECT_FALSE(alertText(*model));

    QListView* list = history.list();
    ASSERT_EQ(list->model()->rowCount(), 10);
    EXPECT_EQ(list->model()->index(0, 0).data(Qt::AccessibleDescriptionRole).toString(),
              QStringLiteral("Show in File Manager"));
    doubleClick(list, 1);
    EXPECT_EQ(fakes.reveal->revealed.back().join(u'|').toStdString(), records[1].outputPath);

    Q_EMIT list->customContextMenuRequested(list->visualRect(list->model()->index(0, 0)).center());
    auto* menu = history.findChild<QMenu*>();
    ASSERT_TRUE(menu != nullptr);
    menu->actions().at(1)->trigger();
    EXPECT_EQ(model->records().size(), 9U);
    EXPECT_EQ(engine::HistoryStore::load().size(), 9U);
    EXPECT_EQ(panel.recordButtons()[0]->text(), QStringLiteral("r1.zip"));

    named<QToolButton>(&history, QStringLiteral("Clear"))->click();
    EXPECT_TRUE(engine::HistoryStore::load().empty());
    EXPECT_TRUE(shows(&history, QStringLiteral("Nothing yet")));
    EXPECT_TRUE(panel.recordButtons().isEmpty());
}

// The most opaque pixel of the icon, 0 to 255.
int strongestAlpha(const QIcon& icon)
{
    const QImage image = icon.pixmap(32, 32).toImage();
    int strongest = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            strongest = std::max(strongest, qAlpha(image.pixel(x, y)));
        }
    }
    return strongest;
}

TEST_F(WindowsTest, TheTrayIconDimsWhileJobsRunAndItsPanelQueuesDrops)
{
    // 7-Zip's progress: one file done, then a percentage redrawn after backspaces.
    writeScript(toolDirectory() / "7zz", "printf '  5%% 1 + a.txt\\b\\b\\b 40%% 1 + b.txt\\b'\nexec sleep 60\n");
    writeFile(work() / "a.txt", "a");
    writeFile(work() / "b.txt", "b");
    auto model = makeModel();
    model->setFormat(ArchiveFormat::sevenZip);
    ui::TrayController tray(*model);
    // The offscreen platform has no tray: the application runs on without the icon.
    tray.start();
    EXPECT_FALSE(tray.hasIcon());
    EXPECT_EQ(strongestAlpha(tray.icon()), 255);

    tray.togglePanel();
    ui::TrayPanel* panel = tray.panel();
    ASSERT_TRUE(panel != nullptr && panel->isVisible());
    tray.togglePanel();
    EXPECT_FALSE(panel->isVisible());
    tray.togglePanel();
    EXPECT_TRUE(panel->isVisible());

    EXPECT_FALSE(drop(panel, {QUrl(QStringLiteral("https://example.com/a.zip"))}));
    EXPECT_FALSE(model->isWorking());
    EXPECT_TRUE(drop(panel, urls({work() / "a.txt"})));
    ASSERT_TRUE(spinUntil([&] { return model->progress().done == 1; }));
    EXPECT_EQ(tray.iconOpacity(), ui::TrayController::kBusyOpacity);
    EXPECT_NEAR(strongestAlpha(tray.icon()), 0.45 * 255, 3);

    // While a job runs a drop on the panel waits in the queue, and asks nothing.
    model->setFormat(ArchiveFormat::zip);
    EXPECT_TRUE(drop(panel, urls({work() / "a.txt", work() / "b.txt"})));
    model->cancel();
    ASSERT_TRUE(waitIdle(*model, 10000));
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(model->records()[0].format, ArchiveFormat::zip);
    EXPECT_TRUE(fs::exists(model->records()[0].outputPath));
    EXPECT_FALSE(alertText(*model));
    EXPECT_EQ(tray.iconOpacity(), 1.0);
}

TEST_F(WindowsTest, AddToFileManagerSaysWhatItDid)
{
    auto model = makeModel();
    ui::Windows windows(*model, preview());
    windows.openSettings();
    ui::SettingsWindow* settings = windows.settingsWindow();
    auto* add = named<QPushButton>(settings, QStringLiteral("Add to file manager"));
    ASSERT_TRUE(add != nullptr && add->isEnabled());
    fakes.fileManagerMenus->failure = QStringLiteral("tarvo-finder: No such file or directory");
    add->click();
    EXPECT_TRUE(shows(settings, QStringLiteral("Could not add the items: tarvo-finder: No such file or directory")));

    fakes.fileManagerMenus->failure.reset();
    add->click();
    EXPECT_TRUE(shows(settings, QStringLiteral("Added to Dolphin and Nemo for your account. Nautilus shows the items "
                                               "once Tarvo is installed for everyone.")));
    EXPECT_EQ(fakes.fileManagerMenus->requests, 2);
}

TEST_F(WindowsTest, SettingsPersistAndALanguageSwitchRewritesOpenWindows)
{
    auto model = makeModel();
    ui::MainWindow window(*model, preview(), {});
    ui::SettingsWindow settings(*model, {});
    ui::AboutWindow about(*model);
    window.show();
    settings.show();
    about.show();

    settings.askForDestination()->click();
    EXPECT_TRUE(model->askForDestination());
    EXPECT_TRUE(QSettings(settingsFile(), QSettings::IniFormat).value("tarvo.ask").toBool());
    EXPECT_TRUE(shows(&window, QStringLiteral("When this is off, the result is saved next to the files.")));

    // Every control can be found by a screen reader under a name.
    for (const QWidget* root : std::initializer_list<const QWidget*>{&window, &settings}) {
        for (QWidget* control : root->findChildren<QWidget*>()) {
            if (control->focusPolicy() == Qt::NoFocus || !control->isVisible()) {
                continue;
            }
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            bool labelled = !accessible->text(QAccessible::Name).isEmpty();
            for (const auto& [label, relation] : accessible->relations(QAccessible::Label)) {
                labelled = labelled || !label->text(QAccessible::Name).isEmpty();
            }
            EXPECT_TRUE(labelled) << control->metaObject()->className();
        }
    }

    // The keyboard reaches the controls in reading order.
    QStringList chain;
    QWidget* focus = named<QToolButton>(&window, QStringLiteral("Compress"));
    for (int i = 0; i < 200 && chain.size() < 10; ++i, focus = focus->nextInFocusChain()) {
        if (focus->isVisible() && (focus->focusPolicy() & Qt::TabFocus) && !qobject_cast<QLabel*>(focus)) {
            chain << QAccessible::queryAccessibleInterface(focus)->text(QAccessible::Name);
        }
    }
    EXPECT_EQ(chain.join(u',').toStdString(), "Compress,Extract,Menu,ZIP,RAR,7Z,tar.gz,Archive name,Normal,"
                                              "Password, if needed");

    // The part size: none, a preset, or another size typed in megabytes; kept in bytes.
    QComboBox* volumes = settings.volumeSizes();
    EXPECT_EQ(volumes->currentText(), QStringLiteral("None"));
    EXPECT_FALSE(settings.otherVolumeSize()->isVisible());
    EXPECT_TRUE(
        shows(&settings, QStringLiteral("For ZIP, 7Z and RAR: the limit of a mail attachment or a FAT32 stick.")));
    const auto pick = [volumes](int row) {
        volumes->setCurrentIndex(row);
        Q_EMIT volumes->activated(row);
    };
    pick(3);
    EXPECT_EQ(model->volumeSize(), 4'294'967'295U);
    EXPECT_EQ(volumes->currentText(), QStringLiteral("4 GB"));
    pick(4);
    ASSERT_TRUE(settings.otherVolumeSize()->isVisible());
    settings.otherVolumeSize()->setValue(700);
    // Typed, it stays "Other size…" even when it is a preset's.
    EXPECT_EQ(model->volumeSize(), 700'000'000U);
    EXPECT_EQ(volumes->currentIndex(), 4);
    settings.otherVolumeSize()->setValue(650);
    EXPECT_EQ(QSettings(settingsFile(), QSettings::IniFormat).value("tarvo.volumeSize").toULongLong(), 650'000'000U);
    model->setVolumeSize(0);
    EXPECT_EQ(volumes->currentIndex(), 0);
    EXPECT_FALSE(settings.otherVolumeSize()->isVisible());

    settings.languages()->setCurrentIndex(2);
    Q_EMIT settings.languages()->activated(2);
    EXPECT_EQ(model->language(), tarvo::test::languageNamed("de"));
    EXPECT_EQ(QSettings(settingsFile(), QSettings::IniFormat).value("tarvo.language").toString(), QStringLiteral("de"));
    EXPECT_EQ(settings.windowTitle(), QStringLiteral("Einstellungen"));
    EXPECT_TRUE(named<QToolButton>(&window, QStringLiteral("Komprimieren")) != nullptr);
    EXPECT_TRUE(shows(&window, QStringLiteral("Ziehen Sie Ihre Datei hierher")));
    EXPECT_TRUE(
        shows(&about, QStringLiteral("Lizenziert unter der GNU General Public License, Version 3 oder neuer.")));
}

} // namespace
} // namespace tarvo::test
