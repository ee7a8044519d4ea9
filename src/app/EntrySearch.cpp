// SPDX-License-Identifier: GPL-3.0-or-later

#include "EntrySearch.h"

namespace tarvo::app {

EntrySearch::EntrySearch(QObject* parent)
    : QObject(parent)
{
    m_worker.setMaxThreadCount(1);
}

EntrySearch::~EntrySearch()
{
    if (m_stop) {
        *m_stop = true;
    }
    m_worker.waitForDone();
}

void EntrySearch::search(std::shared_ptr<const engine::EntryTable> table, const QString& typed)
{
    if (m_stop) {
        *m_stop = true;
    }
    const unsigned long long generation = ++m_generation;
    engine::SearchQuery query(typed.toStdString());
    if (query.empty() || !table) {
        m_stop.reset();
        m_active = false;
        m_matches = std::make_shared<const Rows>();
        Q_EMIT matchesChanged();
        return;
    }
    m_stop = std::make_shared<std::atomic<bool>>(false);
    const bool narrows = m_done && m_doneTable == table && query.narrows(*m_done);
    std::shared_ptr<const Rows> within = narrows ? m_matches : nullptr;
    m_worker.start([this, table, query, within, stop = m_stop, generation] {
        auto found = std::make_shared<const Rows>(table->matching(query, within.get(), stop.get()));
        if (*stop) {
            return;
        }
        QMetaObject::invokeMethod(
            this,
            [this, table, query, found, generation] {
                if (generation != m_generation) {
                    return; // a newer query took its place meanwhile
                }
                m_active = true;
                m_matches = found;
                m_done = query;
                m_doneTable = table;
                Q_EMIT matchesChanged();
            },
            Qt::QueuedConnection);
    });
}

} // namespace tarvo::app
