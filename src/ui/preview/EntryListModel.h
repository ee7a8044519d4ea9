// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/archive/ArchivePreview.h"

#include <QAbstractListModel>
#include <memory>
#include <optional>
#include <string>

namespace tarvo::app {
class EntrySearch;
class PreviewModel;
} // namespace tarvo::app

namespace tarvo::ui {

// One archive of the preview, read from the preview's model by the item's id: its first entries,
// or, while its search field holds a query, every entry that matches.
class EntryListModel : public QAbstractListModel
{
public:
    // At most this many rows without a query: a person reads the start of a list.
    static constexpr int kShownEntries = static_cast<int>(engine::ArchivePreviewItem::kHeldEntries);

    enum Role
    {
        SizeRole = Qt::UserRole + 1, // the formatted size; empty for folders
    };

    EntryListModel(app::PreviewModel& model, std::string itemID, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Rows are dragged out as files, unpacked when the drop target asks for them, and renamed in
    // place (the edit role is the entry's name).
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    const engine::ArchivePreviewItem* item() const;
    std::optional<engine::ArchiveEntry> entry(const QModelIndex& index) const;
    // Call when the preview changed.
    void reload();

    // Shows the matches of `typed` once they are found; a blank one, the first entries again.
    void setQuery(const QString& typed);
    bool searching() const;
    app::EntrySearch& search() const { return *m_search; }

private:
    app::PreviewModel& m_model;
    std::string m_itemID;
    app::EntrySearch* m_search;
    QString m_query;
    // The table the query last ran over: listed again, the item has a new one.
    std::shared_ptr<const engine::EntryTable> m_searched;
    int m_rows = 0;
};

} // namespace tarvo::ui
