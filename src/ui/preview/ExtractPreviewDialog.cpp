// SPDX-License-Identifier: GPL-3.0-or-later

#include "ExtractPreviewDialog.h"

#include "EntryDelegate.h"
#include "PreviewSection.h"
#include "app/PreviewModel.h"
#include "ui/widgets/Style.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace tarvo::ui {

using engine::Text;

namespace {

// The list is never shorter than this when its rows need it, nor the dialog narrower; beyond, it
// takes what its content needs up to most of the screen.
constexpr int kListHeight = 360;
constexpr int kDialogWidth = 560;
constexpr int kScreenPercent = 85;

} // namespace

ExtractPreviewDialog::ExtractPreviewDialog(app::PreviewModel& model, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
    , m_title(new QLabel(this))
    , m_review(makeCaption(this))
    , m_hint(makeCaption(this))
    , m_notice(makeWarningCaption(this))
    , m_scroll(new QScrollArea(this))
    , m_content(new QWidget(m_scroll))
    , m_contentLayout(new QVBoxLayout(m_content))
    , m_cancel(new QPushButton(this))
    , m_extract(new QPushButton(this))
{
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(420);
    m_title->setFont(titleFont(font()));

    m_contentLayout->setContentsMargins(12, 6, 12, 6);
    m_contentLayout->addStretch();
    m_scroll->setWidget(m_content);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::StyledPanel);
    m_scroll->setBackgroundRole(QPalette::Base);
    m_content->setBackgroundRole(QPalette::Base);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_cancel, QDialogButtonBox::RejectRole);
    buttons->addButton(m_extract, QDialogButtonBox::AcceptRole);
    m_extract->setDefault(true);
    m_extract->setAutoDefault(true);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &ExtractPreviewDialog::reject);
    connect(m_extract, &QPushButton::clicked, &m_model, &app::PreviewModel::confirmExtract);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->setSpacing(6);
    layout->addWidget(m_title);
    layout->addWidget(m_review);
    layout->addWidget(m_hint);
    layout->addWidget(m_notice);
    layout->addSpacing(6);
    layout->addWidget(m_scroll, 1);
    layout->addSpacing(6);
    layout->addWidget(buttons);

    // Ctrl+F: the first archive's search field.
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        for (PreviewSection* section : m_sections) {
            if (section->findField()->isVisibleTo(section)) {
                section->findField()->setFocus(Qt::ShortcutFocusReason);
                section->findField()->selectAll();
                return;
            }
        }
    });
    connect(&m_model, &app::PreviewModel::extractPreviewChanged, this, &ExtractPreviewDialog::sync);
    connect(&m_model, &app::PreviewModel::noticeChanged, this, &ExtractPreviewDialog::updateNotice);
    connect(&m_model, &app::PreviewModel::listingIDChanged, this, &ExtractPreviewDialog::refreshSections);
    // A test's verdict adds a line to its section: the dialog grows for it. Queued, so that the
    // section has shown the line first.
    connect(&m_model, &app::PreviewModel::testsChanged, this, &ExtractPreviewDialog::fitList, Qt::QueuedConnection);
    connect(&m_model, &app::PreviewModel::languageChanged, this, &ExtractPreviewDialog::retranslate);
    updateNotice();
    sync();
    retranslate();
}

void ExtractPreviewDialog::reject()
{
    m_model.close();
    QDialog::reject();
}

void ExtractPreviewDialog::sync()
{
    const auto& preview = m_model.extractPreview();
    if (!preview) {
        return;
    }
    if (preview->id == m_previewID) {
        // The same preview listed again: keep the sections, their fields and the focus.
        refreshSections();
        return;
    }
    m_previewID = preview->id;
    for (PreviewSection* section : m_sections) {
        delete section;
    }
    m_sections.clear();
    for (const engine::ArchivePreviewItem& item : preview->items) {
        auto* section = new PreviewSection(m_model, item.id, m_content);
        m_contentLayout->insertWidget(static_cast<int>(m_sections.size()), section);
        m_sections.push_back(section);
    }
    // The first password to type, else the list, has the focus; Return extracts from anywhere.
    for (PreviewSection* section : m_sections) {
        if (section->passwordField()->isVisibleTo(section)) {
            section->passwordField()->setFocus();
            break;
        }
    }
    fitList();
}

void ExtractPreviewDialog::refreshSections()
{
    for (PreviewSection* section : m_sections) {
        section->refresh();
    }
    fitList();
}

void ExtractPreviewDialog::updateNotice()
{
    const auto& notice = m_model.notice();
    m_notice->setVisible(notice.has_value());
    m_notice->setText(notice.value_or(QString()));
}

void ExtractPreviewDialog::rememberSize(QSize remembered, std::function<void(QSize)> keep)
{
    m_remembered = remembered;
    m_keep = std::move(keep);
    fitList();
}

void ExtractPreviewDialog::hideEvent(QHideEvent* event)
{
    if (m_keep && m_fitted.isValid() && size() != m_fitted) {
        m_keep(size());
    }
    QDialog::hideEvent(event);
}

void ExtractPreviewDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // Once the layout has given the list area its new height.
    QTimer::singleShot(0, this, &ExtractPreviewDialog::fitSearchLists);
}

void ExtractPreviewDialog::fitSearchLists()
{
    // Room for the section's name, its search field and the caption below the list.
    constexpr int kSectionChrome = 110;
    const int rowHeight = EntryDelegate::rowHeight(fontMetrics());
    const int rows = std::max(8, (m_scroll->viewport()->height() - kSectionChrome) / rowHeight);
    for (PreviewSection* section : m_sections) {
        section->setSearchRows(rows);
    }
}

void ExtractPreviewDialog::fitList()
{
    // As tall and wide as the sections, up to most of the screen; beyond it the list scrolls. Once
    // shown it only grows on its own, so that a size the user gave it stays unless the content
    // needs more (a test's verdict, an archive listed again).
    m_content->adjustSize();
    const int wanted = m_content->sizeHint().height() + 2 * m_scroll->frameWidth();
    m_scroll->setMinimumHeight(std::min(wanted, kListHeight));
    const QSize room = (screen() ? screen()->availableGeometry().size() : QSize(1280, 800)) * kScreenPercent / 100;
    QSize fitted;
    if (m_remembered.isValid()) {
        fitted = m_remembered.boundedTo(room);
    } else {
        const int chrome = sizeHint().height() - m_scroll->sizeHint().height();
        const int contentWidth = m_content->sizeHint().width() + 2 * m_scroll->frameWidth() +
                                 m_scroll->verticalScrollBar()->sizeHint().width() +
                                 layout()->contentsMargins().left() + layout()->contentsMargins().right();
        fitted = QSize(std::clamp(contentWidth, kDialogWidth, std::max(kDialogWidth, room.width())),
                       std::min(chrome + wanted, std::max(room.height(), sizeHint().height())));
    }
    if (m_fitted.isValid() && isVisible()) {
        fitted = fitted.expandedTo(size());
    }
    resize(fitted);
    m_fitted = size();
    QTimer::singleShot(0, this, &ExtractPreviewDialog::fitSearchLists);
}

void ExtractPreviewDialog::retranslate()
{
    setWindowTitle(text(Text::archiveContents));
    m_title->setText(text(Text::archiveContents));
    m_scroll->setAccessibleName(text(Text::archiveContents));
    m_review->setText(text(Text::reviewThenExtract));
    m_hint->setText(text(Text::doubleClickRowHint));
    m_cancel->setText(text(Text::cancel));
    m_extract->setText(text(Text::extract));
    for (PreviewSection* section : m_sections) {
        section->retranslate();
    }
}

} // namespace tarvo::ui
