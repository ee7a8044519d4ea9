// SPDX-License-Identifier: GPL-3.0-or-later

// The extract preview: list the archives first, test them, then extract everything or one entry.
#include "PreviewModel.h"

#include "ModelWorkers.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/archive/ArchiveSafety.h"
#include "engine/archive/SplitSet.h"
#include "engine/l10n/L10n.h"
#include "engine/util/AppPaths.h"
#include "engine/util/Uuid.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ErrorText.h"

#include <QPointer>

namespace tarvo::app {

using namespace engine;
namespace fs = std::filesystem;

namespace {

// A listing and what it tells before extracting; run on a worker, as it reads the disk's free space.
// Every entry goes into the item's table; the counts and the report are made as it streams.
ArchivePreviewItem listedWithReport(const fs::path& archive, const std::string& password, const RarSupport& tools,
                                    const std::shared_ptr<ArchiveSession>& session, const std::string& encoding = {})
{
    ArchivePreviewItem listed;
    auto table = std::make_shared<EntryTable>();
    SafetyWalk walk;
    const ArchiveListing listing = ArchiveCatalog::list(
        {.archive = archive, .password = password, .tools = tools, .session = session, .encoding = encoding},
        [&](const ArchiveEntry& entry, const ArchiveListing::Link* link) {
            walk.add(entry, link ? &link->target : nullptr, link && link->hard);
            ++listed.entryCount;
            listed.fileCount += entry.isDirectory ? 0 : 1;
            if (listed.entries.size() < ArchivePreviewItem::kHeldEntries) {
                listed.entries.push_back(entry);
            }
            table->add(entry);
        });
    table->finish();
    listed.table = std::move(table);
    listed.needsPassword = listing.isEncrypted;
    listed.nameEncoding = listing.nameEncoding;
    listed.safety = walk.report(archive);
    return listed;
}

// The archive's size on disk, all its parts together.
std::uintmax_t archiveBytes(const fs::path& archive)
{
    if (const auto set = SplitSet::of(archive)) {
        return set->bytes;
    }
    std::error_code error;
    const std::uintmax_t size = fs::file_size(archive, error);
    return error ? 0 : size;
}

// What a listing tells the preview's item.
void takeListing(ArchivePreviewItem& item, ArchivePreviewItem&& listed)
{
    item.entries = std::move(listed.entries);
    item.table = std::move(listed.table);
    item.entryCount = listed.entryCount;
    item.fileCount = listed.fileCount;
    item.needsPassword = listed.needsPassword;
    item.safety = listed.safety;
    item.nameEncoding = listed.nameEncoding;
}

} // namespace

PreviewModel::PreviewModel(Queue queue, QObject* parent)
    : QObject(parent)
    , m_queue(std::move(queue))
{
    // Listings, a test and drags may run side by side.
    m_workers.setMaxThreadCount(4);
    // What drags unpacked in a run that ended without cleaning up goes at the start of the next.
    const fs::path dragRoot = AppPaths::cacheDirectory() / "drag";
    m_dragSpace = std::make_unique<ScratchSpace>(dragRoot);
    m_workers.start([dragRoot] { ScratchSpace::sweep(dragRoot); });
}

PreviewModel::~PreviewModel()
{
    for (const auto& session : {m_listingSession, m_testSession, m_clashSession}) {
        if (session) {
            session->cancel();
        }
    }
    for (const auto& session : m_dragSessions) {
        session->cancel();
    }
    // Then the drag space goes with everything unpacked in it.
    m_workers.waitForDone();
}

void PreviewModel::setTools(RarSupport tools)
{
    m_tools = std::move(tools);
    Q_EMIT editableChanged();
}

void PreviewModel::setReveal(std::shared_ptr<platform::FileReveal> reveal)
{
    m_reveal = std::move(reveal);
}

void PreviewModel::setQueueWorking(bool working)
{
    if (m_queueWorking != working) {
        m_queueWorking = working;
        Q_EMIT editableChanged();
    }
}

const ArchivePreviewItem* PreviewModel::item(const std::string& itemID) const
{
    if (!m_extractPreview) {
        return nullptr;
    }
    for (const ArchivePreviewItem& item : m_extractPreview->items) {
        if (item.id == itemID) {
            return &item;
        }
    }
    return nullptr;
}

void PreviewModel::setNotice(std::optional<QString> notice)
{
    assignObserved(*this, m_notice, std::move(notice), &PreviewModel::noticeChanged);
}

QCoro::Task<> PreviewModel::present(Presentation presentation)
{
    QPointer<PreviewModel> self(this);
    const std::shared_ptr<ArchiveSession> session = presentation.session;
    std::vector<ArchivePreviewItem> items;
    for (const fs::path& archive : presentation.archives) {
        if (session->isCancelled()) {
            throw ArchiveError(ArchiveError::Case::cancelled);
        }
        ArchivePreviewItem item;
        item.id = makeUuid();
        item.url = archive;
        item.byteSize = archiveBytes(archive);
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
    assignObserved(*this, m_passwords, {}, &PreviewModel::passwordsChanged);
    setNotice(std::nullopt);
    assignObserved(*this, m_extractPreview, std::optional<ExtractPreview>(ExtractPreview{makeUuid(), std::move(items)}),
                   &PreviewModel::extractPreviewChanged);
    if (presentation.askForPasswords) {
        setNotice(qtext(L10n::text(Text::enterPasswordForProtected)));
    }
}

void PreviewModel::setPassword(const std::string& itemID, const QString& password)
{
    auto passwords = m_passwords;
    passwords[itemID] = password;
    assignObserved(*this, m_passwords, std::move(passwords), &PreviewModel::passwordsChanged);
    setNotice(std::nullopt);
}

QString PreviewModel::typedPassword(const std::string& itemID) const
{
    const auto typed = m_passwords.find(itemID);
    return typed == m_passwords.end() ? QString() : typed->second;
}

bool PreviewModel::lacksPassword(const ArchivePreviewItem& item)
{
    if (!item.needsPassword || !typedPassword(item.id).trimmed().isEmpty()) {
        return false;
    }
    setNotice(qtext(L10n::text(Text::enterPasswordForProtected)));
    return true;
}

void PreviewModel::setEncoding(const std::string& itemID, const std::string& encoding)
{
    if (m_listingID || m_testingID || item(itemID) == nullptr) {
        return;
    }
    ExtractPreview preview = *m_extractPreview;
    for (ArchivePreviewItem& item : preview.items) {
        if (item.id == itemID) {
            item.chosenEncoding = encoding;
        }
    }
    assignObserved(*this, m_extractPreview, std::optional<ExtractPreview>(std::move(preview)),
                   &PreviewModel::extractPreviewChanged);
    // A verdict naming entries in the former reading would no longer match the list.
    if (m_tests.erase(itemID) > 0) {
        Q_EMIT testsChanged();
    }
    refreshListing(itemID);
}

void PreviewModel::refreshListing(const std::string& itemID)
{
    if (m_listingID) {
        return;
    }
    const ArchivePreviewItem* item = this->item(itemID);
    if (item == nullptr) {
        return;
    }
    const std::string password = typedPassword(itemID).toStdString();
    const std::string encoding = item->chosenEncoding;
    const fs::path archive = item->url;
    m_listingSession = std::make_shared<ArchiveSession>();
    assignObserved(*this, m_listingID, std::optional<std::string>(itemID), &PreviewModel::listingIDChanged);
    setNotice(std::nullopt);
    relist(itemID, archive, password, encoding);
}

QCoro::Task<> PreviewModel::relist(std::string itemID, fs::path archive, std::string password, std::string encoding)
{
    QPointer<PreviewModel> self(this);
    std::exception_ptr failure;
    ArchivePreviewItem listed;
    try {
        auto listing = runOn(&m_workers, [archive, password, encoding, tools = m_tools, session = m_listingSession] {
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
        if (item(itemID) != nullptr) {
            ExtractPreview preview = *m_extractPreview;
            for (ArchivePreviewItem& item : preview.items) {
                if (item.id == itemID) {
                    takeListing(item, std::move(listed));
                    item.listingFailed = false;
                    // Changed in place, it may have grown or shrunk.
                    item.byteSize = archiveBytes(archive);
                    break;
                }
            }
            assignObserved(*this, m_extractPreview, std::optional<ExtractPreview>(std::move(preview)),
                           &PreviewModel::extractPreviewChanged);
        }
    } else {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            setNotice(isCancellation(error) ? std::nullopt : std::optional<QString>(qtext(describeError(error))));
        } catch (...) {
            setNotice(qtext(L10n::text(Text::somethingWentWrong)));
        }
    }
    assignObserved(*this, m_listingID, std::optional<std::string>(), &PreviewModel::listingIDChanged);
}

void PreviewModel::confirmExtract()
{
    if (!m_extractPreview) {
        return;
    }
    for (const ArchivePreviewItem& item : m_extractPreview->items) {
        const auto typed = m_passwords.find(item.id);
        if (item.needsPassword && (typed == m_passwords.end() || typed->second.isEmpty())) {
            setNotice(qtext(L10n::text(Text::enterPasswordForProtected)));
            return;
        }
    }
    WorkAction::Passwords passwords;
    WorkAction::Encodings encodings;
    long long planned = 0;
    std::vector<fs::path> urls;
    for (const ArchivePreviewItem& item : m_extractPreview->items) {
        const auto typed = m_passwords.find(item.id);
        const std::string password = typed == m_passwords.end() ? std::string() : typed->second.toStdString();
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
    close();
    m_queue({.paths = std::move(urls),
             .interactive = true,
             .action = WorkAction::extractConfirmed(std::move(passwords), std::move(encodings)),
             .plannedFiles = planned});
}

QString PreviewModel::TestOutcome::verdict() const
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

void PreviewModel::testArchive(const std::string& itemID)
{
    if (m_testingID || m_listingID) {
        return;
    }
    const ArchivePreviewItem* item = this->item(itemID);
    if (item == nullptr) {
        return;
    }
    const std::string password = typedPassword(itemID).toStdString();
    m_testSession = std::make_shared<ArchiveSession>();
    m_testingID = itemID;
    m_tests.erase(itemID);
    Q_EMIT testsChanged();
    retest(itemID, item->url, password, item->chosenEncoding);
}

QCoro::Task<> PreviewModel::retest(std::string itemID, fs::path archive, std::string password, std::string encoding)
{
    QPointer<PreviewModel> self(this);
    TestOutcome result;
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
    if (!cancelled && item(itemID) != nullptr) {
        m_tests[itemID] = result;
    }
    Q_EMIT testsChanged();
}

void PreviewModel::close()
{
    // A test of an archive no longer shown is of no use: stop its tool.
    if (m_testSession) {
        m_testSession->cancel();
        m_testSession.reset();
    }
    m_testingID.reset();
    m_tests.clear();
    Q_EMIT testsChanged();
    // A change not yet queued is dropped with the preview; a running job goes on, as an extraction would.
    if (m_clashSession) {
        m_clashSession->cancel();
        m_clashSession.reset();
    }
    m_pendingAdd.reset();
    assignObserved(*this, m_clashQuestion, std::optional<ClashQuestion>(), &PreviewModel::clashQuestionChanged);
    setEditingID(std::nullopt);
    releaseDragFolders();
    assignObserved(*this, m_extractPreview, std::optional<ExtractPreview>(), &PreviewModel::extractPreviewChanged);
    assignObserved(*this, m_passwords, {}, &PreviewModel::passwordsChanged);
    setNotice(std::nullopt);
    assignObserved(*this, m_listingID, std::optional<std::string>(), &PreviewModel::listingIDChanged);
}

void PreviewModel::extractOne(const ArchivePreviewItem& item, const ArchiveEntry& entry)
{
    if (m_queueWorking || lacksPassword(item)) {
        return;
    }
    m_queue({.paths = {item.url},
             .interactive = true,
             .action = WorkAction::extractFile(entry.path, typedPassword(item.id).toStdString(), item.chosenEncoding)});
}

void PreviewModel::extractSelected(const ArchivePreviewItem& item, std::vector<std::string> paths)
{
    if (m_queueWorking || lacksPassword(item) || paths.empty()) {
        return;
    }
    m_queue({.paths = {item.url},
             .interactive = true,
             .action = WorkAction::extractEntries(std::move(paths), typedPassword(item.id).toStdString(),
                                                  item.chosenEncoding)});
}

} // namespace tarvo::app
