// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/vocabulary/ArchiveEntry.h"

#include <QMimeData>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

namespace tarvo::app {
class PreviewModel;
}

namespace tarvo::ui {

struct EntryUnpacking;

// Entries dragged out of the preview, offered as files (text/uri-list). Nothing is unpacked when
// the drag starts: the first time the drop target asks for the files they are unpacked, once
// however often it asks, while the windows go on painting; the answer is their file URLs, or none
// when they could not be unpacked.
class EntryMimeData : public QMimeData
{
public:
    EntryMimeData(app::PreviewModel& model, std::string itemID, std::vector<engine::ArchiveEntry> entries);

    QStringList formats() const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QPointer<app::PreviewModel> m_model;
    std::string m_itemID;
    std::vector<engine::ArchiveEntry> m_entries;
    // Shared with the unpacking, which may outlast a drag that the platform lets go of.
    mutable std::shared_ptr<EntryUnpacking> m_unpacking;
};

} // namespace tarvo::ui
