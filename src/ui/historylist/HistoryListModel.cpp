// SPDX-License-Identifier: GPL-3.0-or-later

#include "HistoryListModel.h"

#include "app/AppModel.h"
#include "engine/l10n/RelativeTime.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Style.h"

#include <algorithm>

namespace tarvo::ui {

HistoryListModel::HistoryListModel(app::AppModel& model, QObject* parent)
    : QAbstractListModel(parent)
    , m_model(model)
{
    connect(&m_model, &app::AppModel::recordsChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    // Texts are built in the interface language when they are shown.
    connect(&m_model, &app::AppModel::languageChanged, this, [this] {
        if (rowCount() > 0) {
            Q_EMIT dataChanged(index(0), index(rowCount() - 1));
        }
    });
}

int HistoryListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid()) {
        return 0;
    }
    const int all = static_cast<int>(m_model.records().size());
    return m_limit > 0 ? std::min(all, m_limit) : all;
}

const engine::ArchiveRecord* HistoryListModel::record(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return nullptr;
    }
    return &m_model.records()[static_cast<std::size_t>(index.row())];
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const
{
    const engine::ArchiveRecord* record = this->record(index);
    if (record == nullptr) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return singleLine(record->title);
    case Qt::DecorationRole:
        return Icons::record(*record);
    case FormatRole: {
        const QString format = !record->kindTitle.empty()
                                   ? QString::fromStdString(record->kindTitle)
                                   : QString::fromUtf8(record->format.title().data(),
                                                       static_cast<qsizetype>(record->format.title().size()));
        // An archive changed in place keeps its name: the pill says what happened to it.
        return record->kind == engine::JobKind::edit
                   ? text(engine::Text::changedArchive) + QStringLiteral(" · ") + format
                   : format;
    }
    case TimeRole: {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::seconds>(engine::ArchiveRecord::Clock::now() - record->createdAt);
        return QString::fromStdString(engine::RelativeTime::ago(elapsed));
    }
    case Qt::ToolTipRole:
        return plainToolTip(singleLine(record->outputPath));
    case Qt::AccessibleTextRole:
        // The row reads as one element: what, which format, when.
        return QStringLiteral("%1, %2, %3")
            .arg(data(index, Qt::DisplayRole).toString(), data(index, FormatRole).toString(),
                 data(index, TimeRole).toString());
    case Qt::AccessibleDescriptionRole:
        return text(engine::Text::showInFileManager);
    default:
        return {};
    }
}

void HistoryListModel::setLimit(int limit)
{
    beginResetModel();
    m_limit = limit;
    endResetModel();
}

} // namespace tarvo::ui
