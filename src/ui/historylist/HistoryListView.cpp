// SPDX-License-Identifier: GPL-3.0-or-later

#include "HistoryListView.h"

#include "HistoryDelegate.h"
#include "HistoryListModel.h"
#include "app/AppModel.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QStackedWidget>
#include <QTimerEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarvo::ui {

using engine::Text;

namespace {

// "3 minutes ago" moves on by itself; the rows are repainted this often while shown.
constexpr int kClockInterval = 30000;
// The card's distance from the window's edges.
constexpr int kInset = 16;

} // namespace

HistoryListView::HistoryListView(app::AppModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_rows(new HistoryListModel(model, this))
    , m_header(new QLabel(this))
    , m_clear(new QToolButton(this))
    , m_stack(new QStackedWidget(this))
    , m_emptyIcon(new QLabel(this))
    , m_emptyTitle(new QLabel(this))
    , m_emptyText(makeCaption(this))
    , m_list(new QListView(this))
{
    m_header->setFont(headlineFont(font()));
    m_clear->setAutoRaise(true);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(6, 0, 0, 0);
    header->addWidget(m_header);
    header->addStretch();
    header->addWidget(m_clear);

    auto* empty = new QWidget(this);
    auto* emptyLayout = new QVBoxLayout(empty);
    emptyLayout->addStretch();
    m_emptyIcon->setPixmap(Icons::symbol("clock").pixmap(32, 32));
    m_emptyTitle->setFont(headlineFont(font()));
    for (QLabel* label : {m_emptyIcon, m_emptyTitle, m_emptyText}) {
        label->setAlignment(Qt::AlignCenter);
        emptyLayout->addWidget(label);
    }
    emptyLayout->addStretch();

    m_list->setModel(m_rows);
    m_list->setItemDelegate(new HistoryDelegate(m_list));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setUniformItemSizes(true);
    m_list->setMouseTracking(true);
    m_list->viewport()->setAttribute(Qt::WA_Hover);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);

    m_stack->addWidget(empty);
    m_stack->addWidget(m_list);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kInset + 12, 10, kInset + 12, kInset + 8);
    layout->setSpacing(4);
    layout->addLayout(header);
    layout->addWidget(m_stack, 1);

    connect(m_clear, &QToolButton::clicked, &m_model, &app::AppModel::clearHistory);
    connect(m_list, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const engine::ArchiveRecord* record = m_rows->record(index)) {
            m_model.reveal(*record);
        }
    });
    connect(m_list, &QListView::customContextMenuRequested, this, &HistoryListView::showMenu);
    connect(&m_model, &app::AppModel::recordsChanged, this, &HistoryListView::updateState);
    connect(&m_model, &app::AppModel::languageChanged, this, &HistoryListView::retranslate);
    retranslate();
    updateState();
}

void HistoryListView::retranslate()
{
    m_header->setText(text(Text::recent));
    m_clear->setText(text(Text::clear));
    m_emptyTitle->setText(text(Text::nothingYet));
    m_emptyText->setText(text(Text::historyEmptyHint));
    m_list->setAccessibleName(text(Text::recent));
}

void HistoryListView::updateState()
{
    const bool empty = m_model.records().empty();
    m_stack->setCurrentIndex(empty ? 0 : 1);
    m_clear->setEnabled(!empty);
}

void HistoryListView::showMenu(const QPoint& position)
{
    const QModelIndex index = m_list->indexAt(position);
    const engine::ArchiveRecord* found = m_rows->record(index);
    if (found == nullptr) {
        return;
    }
    // A copy: the records may change while the menu is open.
    const engine::ArchiveRecord record = *found;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(text(Text::showInFileManager), this, [this, record] { m_model.reveal(record); });
    menu->addAction(QIcon::fromTheme(QStringLiteral("edit-delete")), text(Text::removeFromList), this,
                    [this, record] { m_model.remove(record); });
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

void HistoryListView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_clockTimer == 0) {
        m_clockTimer = startTimer(kClockInterval);
    }
}

void HistoryListView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_clockTimer != 0) {
        killTimer(m_clockTimer);
        m_clockTimer = 0;
    }
}

void HistoryListView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintPanel(painter, QRectF(rect()).adjusted(kInset, 0, -kInset, -kInset), palette());
}

void HistoryListView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_clockTimer) {
        m_list->viewport()->update();
    }
}

} // namespace tarvo::ui
