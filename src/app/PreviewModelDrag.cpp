// SPDX-License-Identifier: GPL-3.0-or-later

// Rows dragged out of the preview: unpacked into private folders that last as long as the preview.
#include "ModelWorkers.h"
#include "PreviewModel.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/l10n/L10n.h"
#include "engine/util/FileSystem.h"
#include "engine/util/Launchable.h"
#include "engine/vocabulary/ErrorText.h"

#include <QPointer>

namespace tarvo::app {

using namespace engine;
namespace fs = std::filesystem;

QCoro::Task<QList<QUrl>> PreviewModel::unpackForDrag(std::string itemID, std::vector<ArchiveEntry> entries)
{
    QPointer<PreviewModel> self(this);
    const ArchivePreviewItem* item = this->item(itemID);
    if (item == nullptr || entries.empty() || lacksPassword(*item)) {
        co_return {};
    }
    const QString password = typedPassword(itemID);
    const fs::path archive = item->url;
    const std::string encoding = item->chosenEncoding;
    const auto session = std::make_shared<ArchiveSession>();
    m_dragSessions.push_back(session);
    assignObserved(*this, m_unpackingID, std::optional<std::string>(itemID), &PreviewModel::unpackingIDChanged);
    setNotice(std::nullopt);

    fs::path folder;
    std::vector<fs::path> paths;
    std::exception_ptr failure;
    try {
        // Made here, on the main thread, so that the preview's closing finds every folder.
        folder = m_dragSpace->makeFolder();
        auto unpacking = runOn(&m_workers, [archive, entries, folder, tools = m_tools,
                                            password = password.toStdString(), encoding, session] {
            std::vector<fs::path> unpacked;
            for (const ArchiveEntry& entry : entries) {
                unpacked.push_back(ArchiveEngine::extractEntry({.archive = archive,
                                                                .entry = entry.path,
                                                                .tools = tools,
                                                                .password = password,
                                                                .control = RunControl{session, {}},
                                                                .isDirectory = entry.isDirectory,
                                                                .encoding = encoding,
                                                                .directory = folder}));
            }
            return unpacked;
        });
        paths = co_await unpacking;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return {};
    }
    std::erase(m_dragSessions, session);
    if (m_unpackingID == itemID) {
        assignObserved(*this, m_unpackingID, std::optional<std::string>(), &PreviewModel::unpackingIDChanged);
    }
    const bool cancelled = session->isCancelled();
    if (!folder.empty()) {
        // What a drop may still be copying stays as long as the preview; the rest goes now.
        if (failure || cancelled) {
            removeLater({folder});
        } else {
            m_dragFolders.push_back(folder);
        }
    }
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            if (!isCancellation(error) && this->item(itemID) != nullptr) {
                setNotice(QString::fromStdString(describeError(error)));
            }
        } catch (...) {
        }
        co_return {};
    }
    if (cancelled) {
        co_return {};
    }
    QList<QUrl> urls;
    for (const fs::path& path : paths) {
        urls << QUrl::fromLocalFile(QString::fromStdString(path.string()));
    }
    co_return urls;
}

QCoro::Task<> PreviewModel::openEntry(std::string itemID, ArchiveEntry entry)
{
    QPointer<PreviewModel> self(this);
    std::vector<ArchiveEntry> entries;
    entries.push_back(entry);
    const QList<QUrl> unpacked = co_await unpackForDrag(itemID, std::move(entries));
    if (!self || unpacked.isEmpty() || !m_reveal) {
        co_return;
    }
    const QString path = unpacked.front().toLocalFile();
    const fs::path file = path.toStdString();
    std::error_code error;
    if (fs::is_directory(fs::symlink_status(file, error))) {
        m_reveal->reveal({path});
    } else if (couldRunProgram(file)) {
        m_reveal->reveal({path});
        setNotice(QString::fromStdString(L10n::text(Text::shownInsteadOfRun)).arg(unpacked.front().fileName()));
    } else {
        // Looked at, not changed: an edit would be lost with the preview's scratch space.
        setMode(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        m_reveal->open(path);
    }
}

void PreviewModel::stopUnpacking()
{
    for (const auto& session : m_dragSessions) {
        session->cancel();
    }
}

void PreviewModel::releaseDragFolders()
{
    stopUnpacking();
    m_dragSessions.clear();
    removeLater(std::exchange(m_dragFolders, {}));
}

void PreviewModel::removeLater(std::vector<fs::path> folders)
{
    if (folders.empty()) {
        return;
    }
    // A large entry takes a while to delete: the window goes on meanwhile.
    m_workers.start([folders = std::move(folders)] {
        for (const fs::path& folder : folders) {
            removeTree(folder);
        }
    });
}

} // namespace tarvo::app
