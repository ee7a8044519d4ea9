// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QAbstractListModel>

namespace tarvo::app {
class AppModel;
}
namespace tarvo::engine {
struct ArchiveRecord;
}

namespace tarvo::ui {

// The history as list rows; it reads the application model's records and keeps no copy.
class HistoryListModel : public QAbstractListModel
{
public:
    enum Role
    {
        FormatRole = Qt::UserRole + 1, // "ZIP", "RAR", "7Z", "tar.gz"
        TimeRole,                      // how long ago, in words
    };

    explicit HistoryListModel(app::AppModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const engine::ArchiveRecord* record(const QModelIndex& index) const;
    // The list up to `limit` rows; 0 means all. The tray panel shows the four newest.
    void setLimit(int limit);

private:
    app::AppModel& m_model;
    int m_limit = 0;
};

} // namespace tarvo::ui
