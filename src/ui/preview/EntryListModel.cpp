#include "EntryListModel.h"

#include "EntryMimeData.h"
#include "app/PreviewModel.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Style.h"

#include <algorithm>

namespace tarvo::ui {

EntryListModel::EntryListModel(app::PreviewModel& model, std::string itemID, QObject* parent)
    : QAbstractListModel(parent)
    , m_model(model)
    , m_itemID(std::move(itemID))
{
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

void EntryListModel::reload()
{
    beginResetModel();
    const engine::ArchivePreviewItem* current = item();
    m_rows = current ? static_cast<int>(std::min<std::size_t>(current->entries.size(), kShownEntries)) : 0;
    endResetModel();
}

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

const engine::ArchiveEntry* EntryListModel::entry(const QModelIndex& index) const
{
    const engine::ArchivePreviewItem* current = item();
    if (current == nullptr || !index.isValid() || index.row() >= m_rows ||
        static_cast<std::size_t>(index.row()) >= current->entries.size()) {
        return nullptr;
    }
    return &current->entries[static_cast<std::size_t>(index.row())];
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags flags = QAbstractListModel::flags(index);
    return entry(index) != nullptr ? flags | Qt::ItemIsDragEnabled : flags;
}

QStringList EntryListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData* EntryListModel::mimeData(const QModelIndexList& indexes) const
{
    std::vector<engine::ArchiveEntry> entries;
    for (const QModelIndex& index : indexes) {
        if (const engine::ArchiveEntry* chosen = entry(index)) {
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
    const engine::ArchiveEntry* entry = this->entry(index);
    if (entry == nullptr) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return singleLine(entry->path);
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
