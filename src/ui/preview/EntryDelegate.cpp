// SPDX-License-Identifier: GPL-3.0-or-later

#include "EntryDelegate.h"

#include "EntryListModel.h"
#include "ui/widgets/Style.h"

#include <QApplication>
#include <QPainter>

namespace tarvo::ui {

int EntryDelegate::rowHeight(const QFontMetrics& metrics)
{
    return std::max(22, metrics.height() + 8);
}

QSize EntryDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width(), rowHeight(option.fontMetrics)};
}

void EntryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // The style paints hover, selection and focus; the row's content is ours.
    QStyleOptionViewItem background(option);
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    painter->save();
    const QRect row = option.rect.adjusted(6, 0, -8, 0);
    const int iconSize = 16;
    const QRect iconRect(row.left(), row.center().y() - iconSize / 2, iconSize, iconSize);
    index.data(Qt::DecorationRole).value<QIcon>().paint(painter, iconRect);

    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QString size = index.data(EntryListModel::SizeRole).toString();
    const int sizeWidth = size.isEmpty() ? 0 : option.fontMetrics.horizontalAdvance(size) + 12;
    const QRect sizeRect(row.right() - sizeWidth, row.top(), sizeWidth, row.height());
    if (!size.isEmpty()) {
        painter->setPen(selected ? option.palette.color(QPalette::HighlightedText) : secondaryText(option.palette));
        painter->drawText(sizeRect, Qt::AlignVCenter | Qt::AlignRight, size);
    }
    const QRect pathRect(iconRect.right() + 8, row.top(), sizeRect.left() - iconRect.right() - 8, row.height());
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QString path =
        option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, pathRect.width());
    painter->drawText(pathRect, Qt::AlignVCenter | Qt::AlignLeft, path);
    painter->restore();
}

} // namespace tarvo::ui
