#pragma once

#include "engine/archive/ArchivePreview.h"

#include <QAbstractListModel>
#include <string>

namespace tarvo::app {
class PreviewModel;
}

namespace tarvo::ui {

// The first entries of one archive of the preview, read from the preview's model by the item's id.
class EntryListModel : public QAbstractListModel
{
public:
    // At most this many rows: a person reads the start of a list, and painting stays cheap.
    static constexpr int kShownEntries = static_cast<int>(engine::ArchivePreviewItem::kHeldEntries);

    enum Role
    {
        SizeRole = Qt::UserRole + 1, // the formatted size; empty for folders
    };

    EntryListModel(app::PreviewModel& model, std::string itemID, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Rows are dragged out as files, unpacked when the drop target asks for them.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    const engine::ArchivePreviewItem* item() const;
    const engine::ArchiveEntry* entry(const QModelIndex& index) const;
    // Call when the preview changed.
    void reload();

private:
    app::PreviewModel& m_model;
    std::string m_itemID;
    int m_rows = 0;
};

} // namespace tarvo::ui
