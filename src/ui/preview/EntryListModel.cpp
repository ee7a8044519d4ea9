// SPDX-License-Identifier: GPL-3.0-or-later

#include "EntryListModel.h"

#include "EntryMimeData.h"
#include "app/EntrySearch.h"
#include "app/PreviewModel.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Style.h"

#include <algorithm>
#include <limits>

namespace tarvo::ui {

EntryListModel::EntryListModel(app::PreviewModel& model, std::string itemID, QObject* parent)
    : QAbstractListModel(parent)
    , m_model(model)
    , m_itemID(std::move(itemID))
    , m_search(new app::EntrySearch(this))
{
    connect(m_search, &app::EntrySearch::matchesChanged, this, &EntryListModel::reload);
    reload();
}

const engine::ArchivePreviewItem* EntryListModel::item() const
{
    const auto& preview = m_model.extractPreview();
    if (!preview) {
        return nullptr;
    }
    for (const engine::ArchivePreviewItem& item : preview->items) {
        if (item.id == m_itemID) {
            return &item;
        }
    }
    return nullptr;
}

void EntryListModel::setQuery(const QString& typed)
{
    m_query = typed;
    const engine::ArchivePreviewItem* current = item();
    m_searched = current ? current->table : nullptr;
    m_search->search(m_searched, typed);
}

bool EntryListModel::searching() const
{
    return m_search->active();
}

void EntryListModel::reload()
{
    const engine::ArchivePreviewItem* current = item();
    if (current && !m_query.trimmed().isEmpty() && current->table != m_searched) {
        // Listed again: the query runs over the new entries, and the rows change when it is done.
        setQuery(m_query);
    }
    beginResetModel();
    if (current == nullptr) {
        m_rows = 0;
    } else if (m_search->active()) {
        // Rows of another table than the item's are no rows of it.
        m_rows =
            current->table != m_search->matchesTable()
                ? 0
                : static_cast<int>(std::min<std::size_t>(m_search->matches().size(), std::numeric_limits<int>::max()));
    } else {
        m_rows = static_cast<int>(std::min<std::size_t>(current->entries.size(), kShownEntries));
    }
    endResetModel();
}

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

std::optional<engine::ArchiveEntry> EntryListModel::entry(const QModelIndex& index) const
{
    const engine::ArchivePreviewItem* current = item();
    if (current == nullptr || !index.isValid() || index.row() >= m_rows) {
        return std::nullopt;
    }
    const auto row = static_cast<std::size_t>(index.row());
    if (m_search->active()) {
        const auto& matches = m_search->matches();
        if (row >= matches.size() || current->table != m_search->matchesTable()) {
            return std::nullopt;
        }
        return current->table->entry(matches[row]);
    }
    if (row >= current->entries.size()) {
        return std::nullopt;
    }
    return current->entries[row];
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (!entry(index)) {
        return flags;
    }
    // Whether the archive may be changed now is the view's to check, before it opens an editor.
    return flags | Qt::ItemIsDragEnabled | Qt::ItemIsEditable;
}

bool EntryListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const std::optional<engine::ArchiveEntry> chosen = entry(index);
    if (role != Qt::EditRole || !chosen) {
        return false;
    }
    return m_model.renameEntry(m_itemID, chosen->path, value.toString());
}

QStringList EntryListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData* EntryListModel::mimeData(const QModelIndexList& indexes) const
{
    std::vector<engine::ArchiveEntry> entries;
    for (const QModelIndex& index : indexes) {
        if (const auto chosen = entry(index)) {
            entries.push_back(*chosen);
        }
    }
    if (entries.empty()) {
        return nullptr;
    }
    return new EntryMimeData(m_model, m_itemID, std::move(entries));
}

Qt::DropActions EntryListModel::supportedDragActions() const
{
    return Qt::CopyAction;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    const std::optional<engine::ArchiveEntry> entry = this->entry(index);
    if (!entry) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return singleLine(entry->path);
    case Qt::EditRole: {
        QString path = QString::fromStdString(entry->path);
        while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
            path.chop(1);
        }
        return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    }
    case Qt::ToolTipRole:
        return plainToolTip(singleLine(entry->path));
    case Qt::DecorationRole:
        return Icons::symbol(entry->symbol());
    case SizeRole:
        return entry->isDirectory ? QString()
                                  : interfaceLocale().formattedDataSize(entry->byteSize, 1, QLocale::DataSizeSIFormat);
    case Qt::AccessibleTextRole:
        return entry->isDirectory ? singleLine(entry->path)
                                  : singleLine(entry->path) + QStringLiteral(", ") + data(index, SizeRole).toString();
    default:
        return {};
    }
}

} // namespace tarvo::ui
