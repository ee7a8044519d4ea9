// The extract preview: list the archives first, then extract everything or one entry.
#include "AppModel.h"
#include "ModelWorkers.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/archive/ArchiveSafety.h"
#include "engine/l10n/L10n.h"
#include "engine/util/FileSystem.h"
#include "engine/util/Uuid.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/ErrorText.h"

#include <QPointer>
#include <tuple>

namespace tarvo::app {

using namespace engine;
namespace fs = std::filesystem;

namespace {

QString qtext(const std::string& text)
{
    return QString::fromStdString(text);
}

const ArchivePreviewItem* findItem(const std::optional<ExtractPreview>& preview, const std::string& id)
{
    if (!preview) {
        return nullptr;
    }
    for (const ArchivePreviewItem& item : preview->items) {
        if (item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

// A listing and what it tells before extracting; run on a worker, as it reads the disk's free space.
// Only the entries the preview shows are kept; the counts and the report are made as it streams.
ArchivePreviewItem listedWithReport(const fs::path& archive, const std::string& password, const RarSupport& tools,
                                    const std::shared_ptr<ArchiveSession>& session, const std::string& encoding = {})
{
    ArchivePreviewItem listed;
    SafetyWalk walk;
    const ArchiveListing listing = ArchiveCatalog::list(
        archive, password, tools, session,
        [&](const ArchiveEntry& entry, const ArchiveListing::Link* link) {
            walk.add(entry, link ? &link->target : nullptr, link && link->hard);
            ++listed.entryCount;
            listed.fileCount += entry.isDirectory ? 0 : 1;
            if (listed.entries.size() < ArchivePreviewItem::kHeldEntries) {
                listed.entries.push_back(entry);
            }
        },
        encoding);
    listed.needsPassword = listing.isEncrypted;
    listed.nameEncoding = listing.nameEncoding;
    listed.safety = walk.report(archive);
    return listed;
}

// What a listing tells the preview's item.
void takeListing(ArchivePreviewItem& item, ArchivePreviewItem&& listed)
{
    item.entries = std::move(listed.entries);
    item.entryCount = listed.entryCount;
    item.fileCount = listed.fileCount;
    item.needsPassword = listed.needsPassword;
    item.safety = listed.safety;
    item.nameEncoding = listed.nameEncoding;
}

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

} // namespace

QCoro::Task<> AppModel::presentPreview(Work work)
{
    QPointer<AppModel> self(this);
    const std::vector<fs::path> archives = archivesIn(work);
    setBanner(Banner::working(qtext(L10n::text(Text::readingArchive))));
    const JobSession current(*this);
    const std::shared_ptr<ArchiveSession>& session = current.session();

    std::vector<ArchivePreviewItem> items;
    for (const fs::path& archive : archives) {
        if (session->isCancelled()) {
            throw ArchiveError(ArchiveError::Case::cancelled);
        }
        ArchivePreviewItem item;
        item.id = makeUuid();
        item.url = archive;
        std::exception_ptr failure;
        try {
            auto listing = runOn(&m_workers, [archive, tools = m_tools, session] {
                return listedWithReport(archive, "", tools, session);
            });
            takeListing(item, co_await listing);
        } catch (...) {
            failure = std::current_exception();
        }
        if (!self) {
            co_return;
        }
        if (failure) {
            try {
                std::rethrow_exception(failure);
            } catch (const ArchiveError& error) {
                if (error.errorCase() == ArchiveError::Case::cancelled) {
                    throw;
                }
                item.needsPassword = error.errorCase() == ArchiveError::Case::wrongPassword;
            } catch (...) {
            }
            item.listingFailed = true;
        }
        items.push_back(std::move(item));
    }

    releaseDragFolders();
    assign(m_previewPasswords, {}, &AppModel::previewPasswordsChanged);
    assign(m_previewNotice, std::optional<QString>(), &AppModel::previewNoticeChanged);
    assign(m_extractPreview, std::optional<ExtractPreview>(ExtractPreview{makeUuid(), std::move(items)}),
           &AppModel::extractPreviewChanged);
    setBanner(Banner::idle());
}

void AppModel::setPreviewPassword(const std::string& itemID, const QString& password)
{
    auto passwords = m_previewPasswords;
    passwords[itemID] = password;
    assign(m_previewPasswords, std::move(passwords), &AppModel::previewPasswordsChanged);
    assign(m_previewNotice, std::optional<QString>(), &AppModel::previewNoticeChanged);
}

QString AppModel::typedPassword(const std::string& itemID) const
{
    const auto typed = m_previewPasswords.find(itemID);
    return typed == m_previewPasswords.end() ? QString() : typed->second;
}

void AppModel::setPreviewEncoding(const std::string& itemID, const std::string& encoding)
{
    if (m_listingID || m_testingID || findItem(m_extractPreview, itemID) == nullptr) {
        return;
    }
    ExtractPreview preview = *m_extractPreview;
    for (ArchivePreviewItem& item : preview.items) {
        if (item.id == itemID) {
            item.chosenEncoding = encoding;
        }
    }
    assign(m_extractPreview, std::optional<ExtractPreview>(std::move(preview)), &AppModel::extractPreviewChanged);
    // A verdict naming entries in the former reading would no longer match the list.
    if (m_previewTests.erase(itemID) > 0) {
        Q_EMIT previewTestsChanged();
    }
    refreshListing(itemID);
}

void AppModel::refreshListing(const std::string& itemID)
{
    if (m_listingID) {
        return;
    }
    const ArchivePreviewItem* item = findItem(m_extractPreview, itemID);
    if (item == nullptr) {
        return;
    }
    const std::string password = typedPassword(itemID).toStdString();
    const std::string encoding = item->chosenEncoding;
    const fs::path archive = item->url;
    if (!m_session) {
        m_listingSession = std::make_shared<ArchiveSession>();
    }
    assign(m_listingID, std::optional<std::string>(itemID), &AppModel::listingIDChanged);
    assign(m_previewNotice, std::optional<QString>(), &AppModel::previewNoticeChanged);
    relist(itemID, archive, password, encoding);
}

QCoro::Task<> AppModel::relist(std::string itemID, fs::path archive, std::string password, std::string encoding)
{
    QPointer<AppModel> self(this);
    std::exception_ptr failure;
    ArchivePreviewItem listed;
    try {
        auto listing = runOn(&m_workers, [archive, password, encoding, tools = m_tools,
                                          session = m_session ? m_session : m_listingSession] {
            return listedWithReport(archive, password, tools, session, encoding);
        });
        listed = co_await listing;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    m_listingSession.reset();
    if (!failure) {
        if (findItem(m_extractPreview, itemID) != nullptr) {
            ExtractPreview preview = *m_extractPreview;
            for (ArchivePreviewItem& item : preview.items) {
                if (item.id == itemID) {
                    takeListing(item, std::move(listed));
                    item.listingFailed = false;
                    break;
                }
            }
            assign(m_extractPreview, std::optional<ExtractPreview>(std::move(preview)),
                   &AppModel::extractPreviewChanged);
        }
    } else {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            const std::optional<QString> notice =
                isCancellation(error) ? std::nullopt : std::optional<QString>(qtext(describeError(error)));
            assign(m_previewNotice, notice, &AppModel::previewNoticeChanged);
        } catch (...) {
            assign(m_previewNotice, std::optional<QString>(qtext(L10n::text(Text::somethingWentWrong))),
                   &AppModel::previewNoticeChanged);
        }
    }
    assign(m_listingID, std::optional<std::string>(), &AppModel::listingIDChanged);
}

void AppModel::confirmExtract()
{
    if (!m_extractPreview) {
        return;
    }
    for (const ArchivePreviewItem& item : m_extractPreview->items) {
        const auto typed = m_previewPasswords.find(item.id);
        if (item.needsPassword && (typed == m_previewPasswords.end() || typed->second.isEmpty())) {
            assign(m_previewNotice, std::optional<QString>(qtext(L10n::text(Text::enterPasswordForProtected))),
                   &AppModel::previewNoticeChanged);
            return;
        }
    }
    WorkAction::Passwords passwords;
    WorkAction::Encodings encodings;
    long long planned = 0;
    std::vector<fs::path> urls;
    for (const ArchivePreviewItem& item : m_extractPreview->items) {
        const auto typed = m_previewPasswords.find(item.id);
        const std::string password = typed == m_previewPasswords.end() ? std::string() : typed->second.toStdString();
        // The same archive twice: a typed password wins over an empty one.
        auto& slot = passwords[item.url.string()];
        if (slot.empty()) {
            slot = password;
        }
        if (!item.chosenEncoding.empty()) {
            encodings[item.url.string()] = item.chosenEncoding;
        }
        planned += item.fileCount;
        urls.push_back(item.url);
    }
    closePreview();
    enqueuePaths(std::move(urls), true, WorkAction::extractConfirmed(std::move(passwords), std::move(encodings)),
                 planned);
}

QString AppModel::PreviewTest::verdict() const
{
    if (report) {
        return qtext(testVerdict(*report));
    }
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return qtext(describeError(error));
    } catch (...) {
        return qtext(L10n::text(Text::somethingWentWrong));
    }
}

void AppModel::testArchive(const std::string& itemID)
{
    if (m_testingID || m_listingID) {
        return;
    }
    const ArchivePreviewItem* item = findItem(m_extractPreview, itemID);
    if (item == nullptr) {
        return;
    }
    const std::string password = typedPassword(itemID).toStdString();
    m_testSession = std::make_shared<ArchiveSession>();
    m_testingID = itemID;
    m_previewTests.erase(itemID);
    Q_EMIT previewTestsChanged();
    retest(itemID, item->url, password, item->chosenEncoding);
}

QCoro::Task<> AppModel::retest(std::string itemID, fs::path archive, std::string password, std::string encoding)
{
    QPointer<AppModel> self(this);
    PreviewTest result;
    bool cancelled = false;
    try {
        auto testing = runOn(&m_workers, [archive, password, encoding, tools = m_tools, session = m_testSession] {
            return ArchiveEngine::test(archive, tools,
                                       password.empty() ? std::nullopt : std::optional<std::string>(password),
                                       {session, {}}, encoding);
        });
        const TestReport report = co_await testing;
        result = {report, nullptr, report.sound};
    } catch (const std::exception& error) {
        cancelled = isCancellation(error);
        result = {std::nullopt, std::current_exception(), false};
    } catch (...) {
        result = {std::nullopt, std::current_exception(), false};
    }
    if (!self || m_testingID != itemID) {
        co_return;
    }
    m_testSession.reset();
    m_testingID.reset();
    if (!cancelled && findItem(m_extractPreview, itemID) != nullptr) {
        m_previewTests[itemID] = result;
    }
    Q_EMIT previewTestsChanged();
}

void AppModel::closePreview()
{
    // A test of an archive no longer shown is of no use: stop its tool.
    if (m_testSession) {
        m_testSession->cancel();
        m_testSession.reset();
    }
    m_testingID.reset();
    m_previewTests.clear();
    Q_EMIT previewTestsChanged();
    releaseDragFolders();
    assign(m_extractPreview, std::optional<ExtractPreview>(), &AppModel::extractPreviewChanged);
    assign(m_previewPasswords, {}, &AppModel::previewPasswordsChanged);
    assign(m_previewNotice, std::optional<QString>(), &AppModel::previewNoticeChanged);
    assign(m_listingID, std::optional<std::string>(), &AppModel::listingIDChanged);
}

void AppModel::extractOne(const ArchivePreviewItem& item, const ArchiveEntry& entry)
{
    if (m_isWorking) {
        return;
    }
    const QString password = typedPassword(item.id);
    if (item.needsPassword && isBlank(password)) {
        assign(m_previewNotice, std::optional<QString>(qtext(L10n::text(Text::enterPasswordForProtected))),
               &AppModel::previewNoticeChanged);
        return;
    }
    enqueuePaths({item.url}, true, WorkAction::extractFile(entry.path, password.toStdString(), item.chosenEncoding), 0);
}

QCoro::Task<QList<QUrl>> AppModel::unpackForDrag(std::string itemID, std::vector<ArchiveEntry> entries)
{
    QPointer<AppModel> self(this);
    const ArchivePreviewItem* item = findItem(m_extractPreview, itemID);
    if (item == nullptr || entries.empty()) {
        co_return {};
    }
    const QString password = typedPassword(itemID);
    if (item->needsPassword && isBlank(password)) {
        assign(m_previewNotice, std::optional<QString>(qtext(L10n::text(Text::enterPasswordForProtected))),
               &AppModel::previewNoticeChanged);
        co_return {};
    }
    const fs::path archive = item->url;
    const std::string encoding = item->chosenEncoding;
    const auto session = std::make_shared<ArchiveSession>();
    m_dragSessions.push_back(session);
    assign(m_unpackingID, std::optional<std::string>(itemID), &AppModel::unpackingIDChanged);
    assign(m_previewNotice, std::optional<QString>(), &AppModel::previewNoticeChanged);

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
                unpacked.push_back(ArchiveEngine::extractEntryInto(archive, entry.path, folder, tools, password,
                                                                   RunControl{session, {}}, entry.isDirectory,
                                                                   encoding));
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
        assign(m_unpackingID, std::optional<std::string>(), &AppModel::unpackingIDChanged);
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
            if (!isCancellation(error) && findItem(m_extractPreview, itemID) != nullptr) {
                assign(m_previewNotice, std::optional<QString>(qtext(describeError(error))),
                       &AppModel::previewNoticeChanged);
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

void AppModel::releaseDragFolders()
{
    for (const auto& session : m_dragSessions) {
        session->cancel();
    }
    m_dragSessions.clear();
    removeLater(std::exchange(m_dragFolders, {}));
}

void AppModel::removeLater(std::vector<fs::path> folders)
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

QCoro::Task<> AppModel::extractFile(Work work, std::string path, std::string password, std::string encoding)
{
    QPointer<AppModel> self(this);
    if (work.urls.empty()) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    const fs::path archive = work.urls.front();
    setBanner(Banner::working(qtext(L10n::extracting(fs::path(path).filename().string()))));
    beginProgress(1);
    const JobSession current(*this);
    const std::shared_ptr<ArchiveSession>& session = current.session();

    // What the preview listed tells the engine whether the entry is a folder, sparing a second listing.
    std::optional<bool> isDirectory;
    if (m_extractPreview) {
        for (const ArchivePreviewItem& item : m_extractPreview->items) {
            if (item.url != archive) {
                continue;
            }
            for (const ArchiveEntry& entry : item.entries) {
                if (entry.path == path) {
                    isDirectory = entry.isDirectory;
                }
            }
        }
    }

    auto job = runJob([archive, path, tools = m_tools, password, encoding,
                       control = RunControl{session, progressHandler()}, isDirectory] {
        return ArchiveEngine::extractEntry(archive, path, tools, password, control, isDirectory, encoding);
    });
    const fs::path result = co_await job;
    if (!self) {
        co_return;
    }

    const auto kind = ArchiveKind::from(archive);
    ArchiveRecord done = ArchiveRecord::make(JobKind::extract, kind ? kind->format() : m_format,
                                             result.filename().string(), result.string(), true);
    done.kindTitle = kind ? kind->titleBeyondFormat() : "";
    record(std::move(done));
    succeed(qtext(L10n::made(result.filename().string())), work.interactive, {result});
}

} // namespace tarvo::app
