// SPDX-License-Identifier: GPL-3.0-or-later

#include "PreviewSection.h"

#include "EntryDelegate.h"
#include "EntryListModel.h"
#include "app/EntrySearch.h"
#include "app/PreviewModel.h"
#include "engine/l10n/L10n.h"
#include "engine/util/LegacyNames.h"
#include "ui/widgets/ElidedLabel.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Style.h"

#include <QComboBox>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

namespace tarvo::ui {

using engine::Text;

namespace {

// A list as tall as its rows: the dialog's one scroll area scrolls all sections together. The
// matches of a search, which may be millions, scroll in a list of their own, as tall as the
// dialog has room for, which makes rows only for what is on screen.
class FullHeightList : public QListView
{
public:
    using QListView::QListView;

    void setSearchRows(int rows)
    {
        m_searchRows = rows;
        updateGeometry();
    }

    void setCapped(bool capped)
    {
        m_capped = capped;
        setVerticalScrollBarPolicy(capped ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        updateGeometry();
    }

    QSize sizeHint() const override
    {
        int rows = model() ? model()->rowCount() : 0;
        if (m_capped) {
            rows = std::clamp(rows, 1, m_searchRows);
        }
        return {QListView::sizeHint().width(), rows * EntryDelegate::rowHeight(fontMetrics()) + 2 * frameWidth()};
    }
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

private:
    bool m_capped = false;
    int m_searchRows = 14;
};

QString byteCount(std::int64_t bytes)
{
    return interfaceLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

// One line per finding, in the interface language; empty when all is well.
QString safetyText(const engine::SafetyReport& report)
{
    QStringList lines;
    if (report.entriesOutside > 0) {
        lines << text(Text::entriesOutsideFolder).arg(interfaceLocale().toString(report.entriesOutside));
    }
    if (report.linksOutside > 0) {
        lines << text(Text::linksOutsideFolder).arg(interfaceLocale().toString(report.linksOutside));
    }
    if (report.exceedsFreeSpace && report.freeBytes) {
        lines << text(Text::unpacksBeyondFreeSpace).arg(byteCount(report.unpackedBytes), byteCount(*report.freeBytes));
    }
    if (report.unpacksHundredfold) {
        lines << text(Text::unpacksHundredfold).arg(byteCount(report.unpackedBytes));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

PreviewSection::PreviewSection(app::PreviewModel& model, std::string itemID, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_itemID(std::move(itemID))
    , m_rows(new EntryListModel(model, m_itemID, this))
    , m_name(new ElidedLabel(this))
    , m_size(makeCaption(this))
    , m_test(new QPushButton(this))
    , m_extractSelected(new QPushButton(this))
    , m_add(new QPushButton(this))
    , m_encodingBox(new QWidget(this))
    , m_encodingLabel(new QLabel(m_encodingBox))
    , m_encoding(new QComboBox(m_encodingBox))
    , m_passwordBox(new QWidget(this))
    , m_password(new QLineEdit(m_passwordBox))
    , m_passwordCaption(makeCaption(m_passwordBox))
    , m_showContents(new QPushButton(m_passwordBox))
    , m_busy(new QProgressBar(this))
    , m_message(makeCaption(this))
    , m_testSound(makeCaption(this))
    , m_testDamaged(makeWarningCaption(this))
    , m_safety(makeWarningCaption(this))
    , m_find(new QLineEdit(this))
    , m_list(new FullHeightList(this))
    , m_more(makeCaption(this))
    , m_editBox(new QWidget(this))
    , m_editStatus(makeCaption(m_editBox))
    , m_editCancel(new QPushButton(m_editBox))
{
    m_name->setFont(headlineFont(font()));
    m_password->setEchoMode(QLineEdit::Password);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(m_password, 1);
    passwordRow->addWidget(m_showContents);
    auto* passwordLayout = new QVBoxLayout(m_passwordBox);
    passwordLayout->setContentsMargins(0, 0, 0, 0);
    passwordLayout->setSpacing(2);
    passwordLayout->addLayout(passwordRow);
    passwordLayout->addWidget(m_passwordCaption);

    auto* encodingRow = new QHBoxLayout(m_encodingBox);
    encodingRow->setContentsMargins(0, 0, 0, 0);
    encodingRow->addWidget(m_encodingLabel);
    encodingRow->addWidget(m_encoding);
    encodingRow->addStretch(1);
    m_encodingLabel->setBuddy(m_encoding);
    m_encoding->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setMaximumSize(160, 8);

    m_find->setClearButtonEnabled(true);
    m_extractSelected->setEnabled(false);
    m_list->setModel(m_rows);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setItemDelegate(new EntryDelegate(m_list));
    m_list->setUniformItemSizes(true);
    // Rows are laid out a batch at a time: a million matches are on screen before all are laid out.
    m_list->setLayoutMode(QListView::Batched);
    m_list->setBatchSize(2000);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // F2 renames the row in place, while the archive may be changed (updateEditing).
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setMouseTracking(true);
    // Rows go out to a file manager, or anything that takes files, as copies.
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setDragEnabled(true);
    m_list->setDragDropMode(QAbstractItemView::DragOnly);
    m_list->setDefaultDropAction(Qt::CopyAction);
    // Files from elsewhere, dropped anywhere on the section, are added to the archive.
    setAcceptDrops(true);

    auto* editRow = new QHBoxLayout(m_editBox);
    editRow->setContentsMargins(0, 0, 0, 0);
    editRow->addStretch(1);
    editRow->addWidget(m_editStatus);
    editRow->addWidget(m_editCancel);
    editRow->addStretch(1);
    m_editBox->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 8);
    layout->setSpacing(6);
    auto* title = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(Icons::symbol("archivebox").pixmap(18, 18));
    title->addWidget(icon);
    title->addWidget(m_name, 1);
    title->addWidget(m_size);
    title->addWidget(m_add);
    title->addWidget(m_extractSelected);
    title->addWidget(m_test);
    layout->addLayout(title);
    layout->addWidget(m_encodingBox);
    layout->addWidget(m_passwordBox);
    layout->addWidget(m_busy, 0, Qt::AlignHCenter);
    layout->addWidget(m_editBox);
    layout->addWidget(m_message);
    layout->addWidget(m_testSound);
    layout->addWidget(m_testDamaged);
    layout->addWidget(m_safety);
    layout->addWidget(m_find);
    layout->addWidget(m_list);
    layout->addWidget(m_more);

    connect(m_password, &QLineEdit::textEdited, this,
            [this](const QString& password) { m_model.setPassword(m_itemID, password); });
    connect(m_showContents, &QPushButton::clicked, this, [this] { m_model.refreshListing(m_itemID); });
    connect(m_test, &QPushButton::clicked, this, [this] { m_model.testArchive(m_itemID); });
    connect(m_encoding, &QComboBox::activated, this,
            [this](int index) { m_model.setEncoding(m_itemID, m_encoding->itemData(index).toString().toStdString()); });
    connect(&m_model, &app::PreviewModel::testsChanged, this, &PreviewSection::refresh);
    connect(&m_model, &app::PreviewModel::passwordsChanged, this, &PreviewSection::updatePassword);
    connect(&m_model, &app::PreviewModel::unpackingIDChanged, this, &PreviewSection::updateBusy);
    connect(m_find, &QLineEdit::textChanged, this, [this](const QString& typed) { m_rows->setQuery(typed); });
    connect(&m_rows->search(), &app::EntrySearch::matchesChanged, this, &PreviewSection::updateSearch);
    connect(m_list, &QListView::doubleClicked, this, &PreviewSection::extract);
    connect(m_extractSelected, &QPushButton::clicked, this, &PreviewSection::extractSelected);
    // Ctrl+O: the row with the focus, opened to look at.
    auto* open = new QShortcut(QKeySequence::Open, m_list, nullptr, nullptr, Qt::WidgetShortcut);
    connect(open, &QShortcut::activated, this, [this] {
        if (const auto entry = m_rows->entry(m_list->currentIndex())) {
            openEntry(*entry);
        }
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_extractSelected->setEnabled(m_list->selectionModel()->hasSelection()); });
    connect(m_rows, &QAbstractItemModel::modelReset, this,
            [this] { m_extractSelected->setEnabled(m_list->selectionModel()->hasSelection()); });
    connect(m_list, &QListView::customContextMenuRequested, this, &PreviewSection::showMenu);
    connect(m_add, &QPushButton::clicked, this, [this] { m_model.chooseItemsToAdd(m_itemID, addFolder()); });
    connect(m_editCancel, &QPushButton::clicked, &m_model, &app::PreviewModel::cancelEdit);
    m_list->installEventFilter(this);
    connect(&m_model, &app::PreviewModel::editingIDChanged, this, &PreviewSection::updateEditing);
    connect(&m_model, &app::PreviewModel::editableChanged, this, &PreviewSection::updateEditing);
    connect(&m_model, &app::PreviewModel::clashQuestionChanged, this, &PreviewSection::askClash);
    retranslate();
    refresh();
}

void PreviewSection::refresh()
{
    const engine::ArchivePreviewItem* item = m_rows->item();
    if (item == nullptr) {
        return;
    }
    m_rows->reload();
    m_name->setName(singleLine(item->url.filename().string()));
    m_passwordBox->setVisible(item->needsPassword);
    const bool listing = m_model.listingID() == m_itemID;
    const bool testing = m_model.testingID() == m_itemID;
    // One archive is listed or tested at a time: while one is, the others' buttons would do nothing.
    m_showContents->setEnabled(!m_model.listingID());
    m_test->setEnabled(!m_model.listingID() && !m_model.testingID());
    m_encoding->setEnabled(!m_model.listingID() && !m_model.testingID());
    updateBusy();
    const auto tested = m_model.tests().find(m_itemID);
    const bool hasVerdict = !testing && tested != m_model.tests().end();
    m_testSound->setVisible(hasVerdict && tested->second.sound);
    m_testDamaged->setVisible(hasVerdict && !tested->second.sound);
    const bool empty = !item->listingFailed && item->entryCount == 0;
    m_message->setVisible(!listing && (item->listingFailed || empty));
    m_list->setVisible(!listing && !item->listingFailed && !empty);
    m_find->setVisible(m_list->isVisibleTo(this));
    m_safety->setVisible(!listing && !item->listingFailed && !item->safety.isClear());
    retranslate();
    updateSearch();
    updatePassword();
    updateEditing();
    m_list->updateGeometry();
}

void PreviewSection::updateSearch()
{
    const engine::ArchivePreviewItem* item = m_rows->item();
    if (item == nullptr) {
        return;
    }
    const bool searching = m_rows->searching();
    static_cast<FullHeightList*>(m_list)->setCapped(searching);
    m_more->setVisible(m_list->isVisibleTo(this) && (searching || item->entryCount > EntryListModel::kShownEntries));
    m_more->setText(text(engine::L10n::progress(m_rows->rowCount(), item->entryCount)));
    m_list->updateGeometry();
}

void PreviewSection::setSearchRows(int rows)
{
    static_cast<FullHeightList*>(m_list)->setSearchRows(rows);
}

void PreviewSection::retranslate()
{
    m_password->setPlaceholderText(text(Text::passwordIfNeeded));
    m_password->setAccessibleName(text(Text::passwordIfNeeded));
    m_passwordCaption->setText(text(Text::passwordNeverSaved));
    m_showContents->setText(text(Text::showContents));
    m_test->setText(text(Text::testArchive));
    m_extractSelected->setText(text(Text::extractSelected));
    m_add->setText(text(Text::addToArchive));
    m_editStatus->setText(text(Text::changingArchive));
    m_editCancel->setText(text(Text::cancel));
    const engine::ArchivePreviewItem* item = m_rows->item();
    if (item == nullptr) {
        return;
    }
    m_message->setText(item->listingFailed ? text(Text::listingUnreadable) : text(Text::archiveHasNoFiles));
    if (const auto tested = m_model.tests().find(m_itemID); tested != m_model.tests().end()) {
        (tested->second.sound ? m_testSound : m_testDamaged)->setText(tested->second.verdict());
    }
    updateEncoding(*item);
    m_safety->setText(safetyText(item->safety));
    m_size->setText(item->byteSize > 0 ? byteCount(static_cast<std::int64_t>(item->byteSize)) : QString());
    m_find->setPlaceholderText(text(Text::findInArchive));
    m_find->setAccessibleName(text(Text::findInArchive));
    m_more->setText(text(engine::L10n::progress(m_rows->rowCount(), item->entryCount)));
    m_list->setAccessibleName(m_name->text());
    if (m_rows->rowCount() > 0) {
        // Sizes are written in the interface language's locale.
        Q_EMIT m_rows->dataChanged(m_rows->index(0), m_rows->index(m_rows->rowCount() - 1));
    }
}

void PreviewSection::updateEncoding(const engine::ArchivePreviewItem& item)
{
    if (item.chosenEncoding.empty() && !item.nameEncoding.empty()) {
        m_detected = item.nameEncoding;
    }
    m_encodingBox->setVisible(!item.nameEncoding.empty() || !item.chosenEncoding.empty());
    m_encodingLabel->setText(text(Text::nameEncoding));
    const QSignalBlocker blocker(m_encoding);
    m_encoding->clear();
    m_encoding->addItem(text(Text::automaticEncoding).arg(QString::fromStdString(m_detected)), QString());
    for (const std::string_view name : engine::commonNameEncodings()) {
        const QString shown = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
        m_encoding->addItem(shown, shown);
    }
    const QString chosen = QString::fromStdString(item.chosenEncoding);
    if (!chosen.isEmpty() && m_encoding->findData(chosen) < 0) {
        m_encoding->addItem(chosen, chosen);
    }
    m_encoding->setCurrentIndex(chosen.isEmpty() ? 0 : m_encoding->findData(chosen));
}

void PreviewSection::updateBusy()
{
    m_busy->setVisible(m_model.listingID() == m_itemID || m_model.testingID() == m_itemID ||
                       m_model.unpackingID() == m_itemID ||
                       // A change works, unless it waits for the clash question's answer.
                       (m_model.editingID() == m_itemID && !m_model.clashQuestion()));
}

void PreviewSection::updatePassword()
{
    const auto& passwords = m_model.passwords();
    const auto typed = passwords.find(m_itemID);
    const QString password = typed == passwords.end() ? QString() : typed->second;
    if (m_password->text() != password) {
        const QSignalBlocker blocker(m_password);
        m_password->setText(password);
    }
}

void PreviewSection::extract(const QModelIndex& index)
{
    if (const auto entry = m_rows->entry(index)) {
        extractEntry(*entry);
    }
}

void PreviewSection::extractEntry(const engine::ArchiveEntry& entry)
{
    if (const engine::ArchivePreviewItem* item = m_rows->item()) {
        const engine::ArchivePreviewItem itemCopy = *item;
        m_model.extractOne(itemCopy, entry);
    }
}

void PreviewSection::openEntry(const engine::ArchiveEntry& entry)
{
    m_model.openEntry(m_itemID, entry);
}

void PreviewSection::extractSelected()
{
    const engine::ArchivePreviewItem* item = m_rows->item();
    if (item == nullptr) {
        return;
    }
    std::vector<std::string> paths;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes()) {
        if (auto entry = m_rows->entry(index)) {
            paths.push_back(std::move(entry->path));
        }
    }
    const engine::ArchivePreviewItem itemCopy = *item;
    m_model.extractSelected(itemCopy, std::move(paths));
}

void PreviewSection::showMenu(const QPoint& position)
{
    const QModelIndex index = m_list->indexAt(position);
    const std::optional<engine::ArchiveEntry> entry = m_rows->entry(index);
    if (!entry) {
        return;
    }
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* open = menu->addAction(text(Text::openEntry), this, [this, chosen = *entry] { openEntry(chosen); });
    open->setShortcut(QKeySequence::Open);
    const QString label = text(entry->isDirectory ? Text::extractThisFolder : Text::extractThisFile);
    // The entry as it is now: the list may be listed again while the menu is open.
    QAction* action = menu->addAction(label, this, [this, chosen = *entry] { extractEntry(chosen); });
    action->setToolTip(label);
    qsizetype selected = 0;
    for (const QItemSelectionRange& range : m_list->selectionModel()->selection()) {
        selected += range.height();
    }
    if (selected > 1 && m_list->selectionModel()->isSelected(index)) {
        menu->addAction(text(Text::extractSelected), this, &PreviewSection::extractSelected);
    }
    menu->addSeparator();
    const bool editable = m_model.canEdit(m_itemID);
    const QString blocker = m_model.editBlocker(m_itemID).value_or(QString());
    QAction* rename = menu->addAction(text(Text::renameEntry), this, [this, index] { this->rename(index); });
    rename->setShortcut(QKeySequence(Qt::Key_F2));
    QAction* remove = menu->addAction(text(Text::deleteEntries), this, [this, index] {
        // The row clicked, when it is not among the selected ones.
        if (!m_list->selectionModel()->isSelected(index)) {
            m_list->setCurrentIndex(index);
        }
        confirmDelete();
    });
    remove->setShortcut(QKeySequence::Delete);
    for (QAction* edit : {rename, remove}) {
        edit->setEnabled(editable);
        edit->setToolTip(blocker);
    }
    menu->setToolTipsVisible(!blocker.isEmpty());
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

std::vector<std::string> PreviewSection::chosenPaths() const
{
    std::vector<std::string> paths;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes()) {
        if (auto entry = m_rows->entry(index)) {
            paths.push_back(std::move(entry->path));
        }
    }
    if (paths.empty()) {
        if (auto entry = m_rows->entry(m_list->currentIndex())) {
            paths.push_back(std::move(entry->path));
        }
    }
    return paths;
}

std::string PreviewSection::addFolder() const
{
    const QItemSelectionModel* selection = m_list->selectionModel();
    QModelIndex chosen = m_list->currentIndex();
    if (!selection->isSelected(chosen)) {
        const QModelIndexList selected = selection->selectedIndexes();
        chosen = selected.isEmpty() ? QModelIndex() : selected.front();
    }
    return app::PreviewModel::folderFor(m_rows->entry(chosen));
}

void PreviewSection::updateEditing()
{
    const engine::ArchivePreviewItem* item = m_rows->item();
    if (item == nullptr) {
        return;
    }
    // Why the archive cannot be changed at all; while the queue works or another change runs, the
    // actions simply wait.
    const QString blocker = m_model.editBlocker(m_itemID).value_or(QString());
    const bool editable = m_model.canEdit(m_itemID);
    m_add->setEnabled(editable);
    m_list->setEditTriggers(editable ? QAbstractItemView::EditKeyPressed : QAbstractItemView::NoEditTriggers);
    m_add->setToolTip(blocker);
    m_add->setAccessibleDescription(blocker);
    m_editBox->setVisible(m_model.editingID() == m_itemID && !m_model.clashQuestion());
    updateBusy();
}

bool PreviewSection::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Delete)) {
        confirmDelete();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PreviewSection::dragEnterEvent(QDragEnterEvent* event)
{
    // Rows dragged out of the preview itself come with a source; only files from elsewhere are added.
    if (event->source() == nullptr && event->mimeData()->hasUrls() && m_model.canEdit(m_itemID) &&
        !app::localFiles(event->mimeData()->urls()).empty()) {
        event->acceptProposedAction();
        return;
    }
    event->ignore();
}

void PreviewSection::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void PreviewSection::dropEvent(QDropEvent* event)
{
    if (event->source() != nullptr || !m_model.canEdit(m_itemID)) {
        event->ignore();
        return;
    }
    std::vector<std::filesystem::path> items = app::localFiles(event->mimeData()->urls());
    if (items.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_model.addItems(m_itemID, std::move(items), addFolder());
}

void PreviewSection::rename(const QModelIndex& index)
{
    if (!index.isValid() || !m_model.canEdit(m_itemID)) {
        return;
    }
    m_list->setCurrentIndex(index);
    m_list->edit(index);
}

void PreviewSection::confirmDelete()
{
    const engine::ArchivePreviewItem* item = m_rows->item();
    if (item == nullptr || m_deleteConfirmation != nullptr || !m_model.canEdit(m_itemID)) {
        return;
    }
    std::vector<std::string> paths = chosenPaths();
    if (paths.empty()) {
        return;
    }
    // The rows and everything below the folders among them, as the listing knows them.
    const std::int64_t count = std::max(m_model.removalCount(m_itemID, paths), static_cast<std::int64_t>(paths.size()));
    const QString archive = singleLine(item->url.filename().string());
    auto* box = new QMessageBox(QMessageBox::Question, archive,
                                text(Text::deleteQuestion).arg(archive, interfaceLocale().toString(count)),
                                QMessageBox::NoButton, window());
    QPushButton* remove = box->addButton(text(Text::deleteEntries), QMessageBox::DestructiveRole);
    QPushButton* keep = box->addButton(text(Text::cancel), QMessageBox::RejectRole);
    box->setDefaultButton(keep);
    box->setEscapeButton(keep);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_deleteConfirmation = box;
    connect(box, &QMessageBox::finished, this, [this, box, remove, paths = std::move(paths)] {
        const bool confirmed = box->clickedButton() == remove;
        m_deleteConfirmation = nullptr;
        if (confirmed) {
            m_model.removeEntries(m_itemID, paths);
        }
    });
    box->open();
}

void PreviewSection::askClash()
{
    const auto& question = m_model.clashQuestion();
    if (!question || question->itemID != m_itemID) {
        // Answered or dropped elsewhere (the preview closed).
        if (m_clashQuestion != nullptr) {
            m_clashQuestion->disconnect(this);
            m_clashQuestion->close();
            m_clashQuestion = nullptr;
        }
        updateEditing();
        return;
    }
    if (m_clashQuestion != nullptr) {
        return;
    }
    const engine::ArchivePreviewItem* item = m_rows->item();
    auto* box = new QMessageBox(QMessageBox::Question,
                                item ? singleLine(item->url.filename().string()) : text(Text::addToArchive),
                                question->text, QMessageBox::NoButton, window());
    box->setTextFormat(Qt::PlainText);
    QPushButton* replace = box->addButton(text(Text::replaceEntry), QMessageBox::AcceptRole);
    QPushButton* both = box->addButton(text(Text::keepBoth), QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(text(Text::cancel), QMessageBox::RejectRole);
    box->setDefaultButton(both);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_clashQuestion = box;
    connect(box, &QMessageBox::finished, this, [this, box, replace, both] {
        const QAbstractButton* clicked = box->clickedButton();
        m_clashQuestion = nullptr;
        m_model.answerClash(clicked == replace ? std::optional(engine::ClashChoice::replace)
                            : clicked == both  ? std::optional(engine::ClashChoice::keepBoth)
                                               : std::nullopt);
    });
    updateEditing();
    box->open();
}

} // namespace tarvo::ui
