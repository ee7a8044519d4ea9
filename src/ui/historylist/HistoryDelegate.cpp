// SPDX-License-Identifier: GPL-3.0-or-later

#include "HistoryDelegate.h"

#include "HistoryListModel.h"
#include "ui/widgets/Style.h"

#include <QPainter>
#include <QPainterPath>

namespace tarvo::ui {

namespace {

constexpr int kIconBox = 28;
constexpr int kPadding = 8;

} // namespace

QSize HistoryDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width(), std::max(kIconBox + 2 * kPadding - 4, option.fontMetrics.height() + 2 * kPadding)};
}

void HistoryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPalette& palette = option.palette;
    const QRectF row = QRectF(option.rect).adjusted(2, 1, -2, -1);
    const bool hovered = option.state.testFlag(QStyle::State_MouseOver);
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    if (hovered || selected) {
        QPainterPath path;
        path.addRoundedRect(row, 8, 8);
        QColor fill = selected ? palette.color(QPalette::Highlight) : palette.color(QPalette::Text);
        fill.setAlphaF(selected ? 0.22f : 0.07f);
        painter->fillPath(path, fill);
    }

    const QRectF box(row.left() + kPadding, row.center().y() - kIconBox / 2.0, kIconBox, kIconBox);
    QPainterPath boxPath;
    boxPath.addRoundedRect(box, 7, 7);
    QColor boxFill = palette.color(QPalette::Base);
    boxFill.setAlphaF(0.9f);
    painter->fillPath(boxPath, boxFill);
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    icon.paint(painter, box.adjusted(5, 5, -5, -5).toRect());

    const QString time = index.data(HistoryListModel::TimeRole).toString();
    const QString format = index.data(HistoryListModel::FormatRole).toString();
    const QFont caption = captionFont(option.font);
    const QFontMetrics captionMetrics(caption);
    // A column of its own, so that the format labels line up.
    const qreal timeWidth =
        std::max<qreal>(captionMetrics.horizontalAdvance(time), captionMetrics.averageCharWidth() * 14);
    const qreal formatWidth = captionMetrics.horizontalAdvance(format) + 12;

    const QRectF timeRect(row.right() - kPadding - timeWidth, row.top(), timeWidth, row.height());
    painter->setFont(caption);
    painter->setPen(secondaryText(palette));
    painter->drawText(timeRect, Qt::AlignVCenter | Qt::AlignRight, time);

    // The format as a small pill beside the time.
    const QRectF pill(timeRect.left() - 10 - formatWidth, row.center().y() - captionMetrics.height() / 2.0 - 1,
                      formatWidth, captionMetrics.height() + 2);
    QPainterPath pillPath;
    pillPath.addRoundedRect(pill, pill.height() / 2, pill.height() / 2);
    QColor pillFill = palette.color(QPalette::Highlight);
    pillFill.setAlphaF(0.16f);
    painter->fillPath(pillPath, pillFill);
    painter->drawText(pill, Qt::AlignCenter, format);

    const QRectF titleRect(box.right() + 10, row.top(), pill.left() - 10 - (box.right() + 10), row.height());
    painter->setFont(option.font);
    painter->setPen(palette.color(QPalette::Text));
    const QString title = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle,
                                                        static_cast<int>(titleRect.width()));
    painter->drawText(titleRect, Qt::AlignVCenter | Qt::AlignLeft, title);
    painter->restore();
}

} // namespace tarvo::ui
