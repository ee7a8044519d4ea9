// SPDX-License-Identifier: GPL-3.0-or-later

#include "EntryMimeData.h"

#include "app/PreviewModel.h"

#include <QCoreApplication>
#include <QUrl>
#include <qcoro/qcorotask.h>

namespace tarvo::ui {

struct EntryUnpacking
{
    bool done = false;
    QList<QUrl> urls;
};

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

QCoro::Task<> keep(QCoro::Task<QList<QUrl>> unpacking, std::shared_ptr<EntryUnpacking> into)
{
    try {
        into->urls = co_await unpacking;
    } catch (...) {
    }
    into->done = true;
}

} // namespace

EntryMimeData::EntryMimeData(app::PreviewModel& model, std::string itemID, std::vector<engine::ArchiveEntry> entries)
    : m_model(&model)
    , m_itemID(std::move(itemID))
    , m_entries(std::move(entries))
{}

QStringList EntryMimeData::formats() const
{
    return {kUriList};
}

QVariant EntryMimeData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType != kUriList) {
        return {};
    }
    if (!m_unpacking) {
        m_unpacking = std::make_shared<EntryUnpacking>();
        if (m_model) {
            keep(m_model->unpackForDrag(m_itemID, m_entries), m_unpacking);
        } else {
            m_unpacking->done = true;
        }
    }
    // The drop target waits for the answer. Meanwhile the windows paint and show the progress, but
    // take no input, which could close the preview under the unpacking. A second request while the
    // first waits waits for the same unpacking.
    const std::shared_ptr<EntryUnpacking> unpacking = m_unpacking;
    while (!unpacking->done) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    }
    if (type.id() == QMetaType::QByteArray) {
        QByteArray list;
        for (const QUrl& url : unpacking->urls) {
            list += url.toEncoded() + "\r\n";
        }
        return list;
    }
    QVariantList list;
    for (const QUrl& url : unpacking->urls) {
        list << url;
    }
    return list;
}

} // namespace tarvo::ui
