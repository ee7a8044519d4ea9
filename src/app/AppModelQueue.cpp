// SPDX-License-Identifier: GPL-3.0-or-later

// The work queue: intake, one job at a time, and where a job's failure goes.
#include "AppModel.h"
#include "engine/l10n/L10n.h"
#include "engine/util/FileSystem.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/DropIntent.h"
#include "engine/vocabulary/ErrorText.h"

#include <QPointer>
#include <filesystem>

namespace tarvo::app {

using namespace engine;
namespace fs = std::filesystem;

void AppModel::enqueue(WorkRequest request)
{
    // "Photos/" means the folder Photos: its name and the folder that holds it must be right. Cleaned
    // here, as the request arrives, and nowhere after.
    for (fs::path& path : request.paths) {
        path = cleanPath(path);
    }
    if (request.paths.empty()) {
        return;
    }
    Work work{std::move(request)};
    // A new archive's name and password are those in the window now, as the request is made, not
    // when its job starts: typing there afterwards, for the next batch or while jobs run, never
    // changes a request already made. The settings are read when the job starts.
    work.archiveName = m_archiveName.toStdString();
    work.archivePassword = m_archivePassword.toStdString();
    m_queue.push_back(std::move(work));
    if (m_draining) {
        return;
    }
    m_draining = true;
    setWorking(true);
    // Runs on by itself; the model owns it through m_draining until the queue is empty.
    drain();
}

QCoro::Task<> AppModel::drain()
{
    QPointer<AppModel> self(this);
    m_platform.inhibitor->begin();
    while (!m_queue.empty()) {
        Work work = std::move(m_queue.front());
        m_queue.pop_front();
        auto job = perform(std::move(work));
        co_await job;
        if (!self) {
            co_return;
        }
    }
    m_draining = false;
    setWorking(false);
    setProgress(0, 0);
    m_platform.inhibitor->end();
    Q_EMIT drained();
}

QCoro::Task<> AppModel::perform(Work work)
{
    QPointer<AppModel> self(this);
    std::optional<JobKind> kind = JobKind::extract;
    ArchiveFormat failureFormat = m_format;
    std::exception_ptr failure;
    try {
        if (work.edit) {
            kind = JobKind::edit;
            const auto archiveKind = ArchiveKind::from(work.paths.empty() ? fs::path("/") : work.paths.front());
            failureFormat = archiveKind ? archiveKind->format() : m_format;
            auto job = edit(work);
            co_await job;
            co_return;
        }
        switch (work.action.kind()) {
        case WorkAction::Kind::extractFile: {
            const fs::path first = work.paths.empty() ? fs::path("/") : work.paths.front();
            const auto archiveKind = ArchiveKind::from(first);
            failureFormat = archiveKind ? archiveKind->format() : m_format;
            auto job = extractFile(work, work.action.entryPaths(), work.action.password(), work.action.encoding());
            co_await job;
            break;
        }
        case WorkAction::Kind::extractConfirmed: {
            auto job = extract(work, work.action.passwords(), work.action.encodings());
            co_await job;
        } break;
        case WorkAction::Kind::test: {
            kind.reset();
            auto job = test(work);
            co_await job;
        } break;
        case WorkAction::Kind::automatic:
        case WorkAction::Kind::compress:
        case WorkAction::Kind::extract: {
            const DropIntent intent = DropIntent::resolve(work.paths, m_format, work.action);
            if (intent.kind() == DropIntent::Kind::compress) {
                kind = JobKind::compress;
                failureFormat = intent.format();
                auto job = compress(work, intent.format());
                co_await job;
            } else {
                auto job = presentPreview({.archives = archivesIn(work)});
                co_await job;
            }
            break;
        }
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (!failure || !self) {
        co_return;
    }
    try {
        std::rethrow_exception(failure);
    } catch (const ArchiveError& error) {
        if (error.errorCase() == ArchiveError::Case::cancelled) {
            setBanner(Banner::idle());
            co_return;
        }
    } catch (...) {
    }
    // Nothing may escape: the drain would stop with the queue still marked busy.
    try {
        report(failure, work, kind, failureFormat);
    } catch (...) {
    }
}

namespace {

// The items of a request that still exist. Requests come from other processes, whose working folder
// is not ours: a relative path means nothing here.
std::vector<fs::path> existingItems(const QStringList& paths)
{
    std::vector<fs::path> existing;
    for (const QString& path : paths) {
        fs::path item(path.toStdString());
        std::error_code error;
        if (item.is_absolute() && fs::exists(item, error)) {
            existing.push_back(std::move(item));
        }
    }
    return existing;
}

} // namespace

void AppModel::handleFinder(const QString& action, const QStringList& paths)
{
    std::vector<fs::path> existing = existingItems(paths);
    if (existing.empty()) {
        return;
    }
    m_platform.desktop->showMainWindow();
    const WorkAction workAction = action == QStringLiteral("extract") ? WorkAction::extract()
                                  : action == QStringLiteral("test")  ? WorkAction::test()
                                                                      : WorkAction::compress();
    enqueue({.paths = std::move(existing), .interactive = true, .action = workAction});
}

void AppModel::handleDesktopAction(const QString& action, const QStringList& paths)
{
    if (action != QStringLiteral("extract") && action != QStringLiteral("test")) {
        if (paths.isEmpty()) {
            m_platform.desktop->showMainWindow();
            setAlert({.text = QString::fromStdString(L10n::text(Text::nothingToCompress))});
            return;
        }
        handleFinder(action, paths);
        return;
    }
    QStringList archives;
    for (const QString& path : paths) {
        if (ArchiveKind::from(fs::path(path.toStdString()))) {
            archives.push_back(path);
        }
    }
    if (archives.isEmpty()) {
        m_platform.desktop->showMainWindow();
        setAlert({.text = QString::fromStdString(ArchiveError(ArchiveError::Case::notAnArchive).errorDescription())});
        return;
    }
    handleFinder(action, archives);
}

void AppModel::open(const QStringList& paths)
{
    m_platform.desktop->showMainWindow();
    if (acceptsDrop()) {
        enqueue({.paths = existingItems(paths), .interactive = true, .action = WorkAction::automatic()});
    }
}

bool AppModel::acceptsDrop() const
{
    return !m_isWorking && !m_preview.extractPreview();
}

void AppModel::pick(JobKind kind)
{
    if (m_isWorking) {
        return;
    }
    platform::OpenRequest request;
    request.files = true;
    request.multiple = true;
    if (kind == JobKind::compress) {
        request.message = QString::fromStdString(L10n::text(Text::whatToCompress));
        request.acceptLabel = QString::fromStdString(L10n::text(Text::choose));
        request.folders = true;
        queueChosen(std::move(request), WorkAction::compress());
        return;
    }
    request.message = QString::fromStdString(L10n::text(Text::whichArchiveToExtract));
    request.acceptLabel = QString::fromStdString(L10n::text(Text::extract));
    request.folders = false;
    for (std::string_view pattern : ArchiveKind::namePatterns()) {
        request.nameFilters.push_back(QString::fromUtf8(pattern.data(), static_cast<qsizetype>(pattern.size())));
    }
    queueChosen(std::move(request), WorkAction::extract());
}

QCoro::Task<> AppModel::queueChosen(platform::OpenRequest request, WorkAction action)
{
    QPointer<AppModel> self(this);
    auto dialogs = m_platform.dialogs;
    auto answer = dialogs->open(std::move(request));
    const std::optional<QStringList> chosen = co_await answer;
    if (!self || !chosen) {
        co_return;
    }
    std::vector<fs::path> paths;
    for (const QString& path : *chosen) {
        if (!path.isEmpty()) {
            paths.emplace_back(path.toStdString());
        }
    }
    enqueue({.paths = std::move(paths), .interactive = true, .action = std::move(action)});
}

} // namespace tarvo::app
