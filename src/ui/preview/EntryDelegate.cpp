// SPDX-License-Identifier: GPL-3.0-or-later

#include "EntryDelegate.h"

#include "EntryListModel.h"
#include "ui/widgets/Style.h"

#include <QApplication>
#include <QPainter>

namespace tarvo::ui {

namespace {

constexpr int kIconSize = 16;

QRect contentRect(const QStyleOptionViewItem& option)
{
    return option.rect.adjusted(6, 0, -8, 0);
}

QRect sizeRect(const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QRect row = contentRect(option);
    const QString size = index.data(EntryListModel::SizeRole).toString();
    const int sizeWidth = size.isEmpty() ? 0 : option.fontMetrics.horizontalAdvance(size) + 12;
    return {row.right() - sizeWidth, row.top(), sizeWidth, row.height()};
}

QRect pathRect(const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const QRect row = contentRect(option);
    const int left = row.left() + kIconSize + 8;
    return {left, row.top(), sizeRect(option, index).left() - left, row.height()};
}

} // namespace

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
    const QRect row = contentRect(option);
    const QRect iconRect(row.left(), row.center().y() - kIconSize / 2, kIconSize, kIconSize);
    index.data(Qt::DecorationRole).value<QIcon>().paint(painter, iconRect);

    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QString size = index.data(EntryListModel::SizeRole).toString();
    const QRect sizeBox = sizeRect(option, index);
    if (!size.isEmpty()) {
        painter->setPen(selected ? option.palette.color(QPalette::HighlightedText) : secondaryText(option.palette));
        painter->drawText(sizeBox, Qt::AlignVCenter | Qt::AlignRight, size);
    }
    const QRect pathBox = pathRect(option, index);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QString path =
        option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, pathBox.width());
    painter->drawText(pathBox, Qt::AlignVCenter | Qt::AlignLeft, path);
    painter->restore();
}

void EntryDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const
{
    // Where the name starts in the drawn path, when the path is drawn whole.
    QRect box = pathRect(option, index);
    const QString path = index.data(Qt::DisplayRole).toString();
    const QString name = index.data(Qt::EditRole).toString();
    if (option.fontMetrics.horizontalAdvance(path) <= box.width() && path.endsWith(name)) {
        box.setLeft(box.left() + option.fontMetrics.horizontalAdvance(path.left(path.size() - name.size())));
    }
    box.setRight(contentRect(option).right());
    editor->setGeometry(box.adjusted(0, 1, 0, -1));
}

} // namespace tarvo::ui
