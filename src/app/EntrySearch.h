// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/archive/EntryTable.h"

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace tarvo::app {

// The search field of one archive in the preview: looks through all its entries off the interface
// thread, so that typing never waits, and the newest query wins: an older one still running stops,
// and what it found is never shown.
class EntrySearch : public QObject
{
    Q_OBJECT

public:
    using Rows = std::vector<engine::EntryTable::Row>;

    explicit EntrySearch(QObject* parent = nullptr);
    ~EntrySearch() override;

    // Looks for `typed` among the entries of `table`; a blank query ends the search at once.
    void search(std::shared_ptr<const engine::EntryTable> table, const QString& typed);

    // Whether a query is in force (the rows are its matches), they, and the table they are rows of.
    bool active() const { return m_active; }
    const Rows& matches() const { return *m_matches; }
    const std::shared_ptr<const engine::EntryTable>& matchesTable() const { return m_doneTable; }

Q_SIGNALS:
    // The matches of the newest query are in.
    void matchesChanged();

private:
    QThreadPool m_worker;
    std::shared_ptr<std::atomic<bool>> m_stop;
    unsigned long long m_generation = 0;
    bool m_active = false;
    std::shared_ptr<const Rows> m_matches = std::make_shared<const Rows>();
    // The last query whose search ran to its end, on which table: a longer one looks among its rows.
    std::optional<engine::SearchQuery> m_done;
    std::shared_ptr<const engine::EntryTable> m_doneTable;
};

} // namespace tarvo::app
