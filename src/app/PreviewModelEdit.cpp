// SPDX-License-Identifier: GPL-3.0-or-later

// Changing a previewed archive in place: adding to it, taking entries out, renaming one.
#include "ModelWorkers.h"
#include "PreviewModel.h"
#include "engine/l10n/L10n.h"
#include "engine/util/FileSystem.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ErrorText.h"

#include <QPointer>
#include <set>
#include <string_view>

namespace tarvo::app {

using namespace engine;
namespace fs = std::filesystem;

namespace {

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// A few of the names, enough for a person to recognise the case.
std::string someNames(const std::vector<std::string>& names)
{
    constexpr std::size_t kNamed = 3;
    std::string joined;
    for (std::size_t i = 0; i < names.size() && i < kNamed; ++i) {
        joined += (i == 0 ? "" : ", ") + names[i];
    }
    return names.size() > kNamed ? joined + ", …" : joined;
}

} // namespace

void PreviewModel::setDialogs(std::shared_ptr<platform::FileDialogs> dialogs)
{
    m_dialogs = std::move(dialogs);
}

void PreviewModel::setCancelEditJob(std::function<void(const fs::path&)> cancel)
{
    m_cancelEditJob = std::move(cancel);
}

void PreviewModel::setEditingID(std::optional<std::string> itemID)
{
    assignObserved(*this, m_editingID, std::move(itemID), &PreviewModel::editingIDChanged);
}

std::optional<QString> PreviewModel::editBlocker(const std::string& itemID) const
{
    const ArchivePreviewItem* item = this->item(itemID);
    if (item == nullptr) {
        return std::nullopt;
    }
    if (const std::optional<ArchiveError> blocker = ArchiveEngine::editBlocker(item->url, m_tools)) {
        return qtext(blocker->errorDescription());
    }
    return std::nullopt;
}

bool PreviewModel::canEdit(const std::string& itemID) const
{
    const ArchivePreviewItem* item = this->item(itemID);
    return item != nullptr && !item->listingFailed && !m_queueWorking && !m_editingID && !m_listingID &&
           !editBlocker(itemID);
}

const ArchivePreviewItem* PreviewModel::editableItem(const std::string& itemID)
{
    if (!canEdit(itemID)) {
        return nullptr;
    }
    const ArchivePreviewItem* item = this->item(itemID);
    return lacksPassword(*item) ? nullptr : item;
}

std::string PreviewModel::folderFor(const std::optional<ArchiveEntry>& selected)
{
    if (!selected) {
        return {};
    }
    const std::string path = withoutTrailingSlashes(selected->path);
    if (selected->isDirectory) {
        return path;
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

void PreviewModel::chooseItemsToAdd(const std::string& itemID, std::string into)
{
    const ArchivePreviewItem* item = editableItem(itemID);
    if (item == nullptr || !m_dialogs) {
        return;
    }
    platform::OpenRequest request;
    request.message = qtext(L10n::text(Text::addToArchive));
    request.acceptLabel = qtext(L10n::text(Text::choose));
    request.files = true;
    request.folders = true;
    request.multiple = true;
    request.startDirectory = QString::fromStdString(item->url.parent_path().string());
    chooseThenAdd(itemID, std::move(into), std::move(request));
}

QCoro::Task<> PreviewModel::chooseThenAdd(std::string itemID, std::string into, platform::OpenRequest request)
{
    QPointer<PreviewModel> self(this);
    auto dialogs = m_dialogs;
    auto answer = dialogs->open(std::move(request));
    const std::optional<QStringList> chosen = co_await answer;
    if (!self || !chosen) {
        co_return;
    }
    std::vector<fs::path> items;
    for (const QString& path : *chosen) {
        if (!path.isEmpty()) {
            items.emplace_back(path.toStdString());
        }
    }
    addItems(itemID, std::move(items), std::move(into));
}

void PreviewModel::addItems(const std::string& itemID, std::vector<fs::path> items, std::string into)
{
    const ArchivePreviewItem* item = editableItem(itemID);
    if (item == nullptr || items.empty()) {
        return;
    }
    // The items arrive here from the panel or a drop: cleaned once, as the queue does its own.
    for (fs::path& path : items) {
        path = cleanPath(path);
    }
    ArchiveEdit edit{.kind = ArchiveEdit::Kind::add,
                     .items = std::move(items),
                     .into = withoutTrailingSlashes(std::move(into)),
                     .password = typedPassword(itemID).toStdString()};
    setNotice(std::nullopt);
    setEditingID(itemID);
    m_clashSession = std::make_shared<ArchiveSession>();
    checkClashes(itemID, item->url, std::move(edit));
}

QCoro::Task<> PreviewModel::checkClashes(std::string itemID, fs::path archive, ArchiveEdit edit)
{
    QPointer<PreviewModel> self(this);
    std::vector<std::string> clashes;
    std::exception_ptr failure;
    try {
        auto looking = runOn(&m_workers, [archive, edit, tools = m_tools, session = m_clashSession] {
            EditRequest request;
            request.archive = archive;
            request.tools = tools;
            request.password = ArchiveEngine::normalized(edit.password);
            request.control = RunControl{session, {}};
            request.items = edit.items;
            request.into = edit.into;
            return ArchiveEngine::addClashes(request);
        });
        clashes = co_await looking;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    m_clashSession.reset();
    const ArchivePreviewItem* item = this->item(itemID);
    // Closed or cancelled meanwhile.
    if (m_editingID != itemID || item == nullptr) {
        co_return;
    }
    if (failure) {
        setEditingID(std::nullopt);
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            setNotice(isCancellation(error) ? std::nullopt : std::optional<QString>(qtext(describeError(error))));
        } catch (...) {
            setNotice(qtext(L10n::text(Text::somethingWentWrong)));
        }
        co_return;
    }
    if (clashes.empty()) {
        queueEdit(*item, std::move(edit));
        co_return;
    }
    m_pendingAdd = std::move(edit);
    const QString text = qtext(L10n::text(Text::entryAlreadyThere))
                             .arg(QString::fromStdString(archive.filename().string()), qtext(someNames(clashes)));
    assignObserved(*this, m_clashQuestion, std::optional<ClashQuestion>(ClashQuestion{itemID, clashes, text}),
                   &PreviewModel::clashQuestionChanged);
}

void PreviewModel::answerClash(std::optional<ClashChoice> choice)
{
    if (!m_clashQuestion) {
        return;
    }
    const std::string itemID = m_clashQuestion->itemID;
    std::optional<ArchiveEdit> pending = std::move(m_pendingAdd);
    m_pendingAdd.reset();
    assignObserved(*this, m_clashQuestion, std::optional<ClashQuestion>(), &PreviewModel::clashQuestionChanged);
    const ArchivePreviewItem* item = this->item(itemID);
    if (!choice || choice == ClashChoice::refuse || !pending || item == nullptr) {
        setEditingID(std::nullopt);
        return;
    }
    pending->onClash = *choice;
    queueEdit(*item, std::move(*pending));
}

std::int64_t PreviewModel::removalCount(const std::string& itemID, const std::vector<std::string>& paths) const
{
    const ArchivePreviewItem* item = this->item(itemID);
    if (item == nullptr || !item->table) {
        return 0;
    }
    std::set<std::string, std::less<>> chosen;
    for (const std::string& path : paths) {
        chosen.insert(withoutTrailingSlashes(path));
    }
    // An entry goes when it or a folder above it is chosen.
    const auto goes = [&chosen](std::string_view path) {
        while (!path.empty()) {
            if (chosen.find(path) != chosen.end()) {
                return true;
            }
            const std::size_t slash = path.rfind('/');
            path = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
        }
        return false;
    };
    std::int64_t count = 0;
    const EntryTable& table = *item->table;
    for (EntryTable::Row row = 0; row < table.size(); ++row) {
        count += goes(withoutTrailingSlashes(table.path(row))) ? 1 : 0;
    }
    return count;
}

void PreviewModel::removeEntries(const std::string& itemID, std::vector<std::string> paths)
{
    const ArchivePreviewItem* item = editableItem(itemID);
    if (item == nullptr || paths.empty()) {
        return;
    }
    setNotice(std::nullopt);
    setEditingID(itemID);
    queueEdit(*item, ArchiveEdit{.kind = ArchiveEdit::Kind::remove,
                                 .entries = std::move(paths),
                                 .password = typedPassword(itemID).toStdString()});
}

bool PreviewModel::renameEntry(const std::string& itemID, const std::string& path, const QString& newName)
{
    const std::string name = newName.toStdString();
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        setNotice(qtext(ArchiveError(ArchiveError::Case::badEntryName).errorDescription()));
        return false;
    }
    const std::string current = withoutTrailingSlashes(path);
    const std::size_t slash = current.rfind('/');
    if (name == (slash == std::string::npos ? current : current.substr(slash + 1))) {
        return true;
    }
    const ArchivePreviewItem* item = editableItem(itemID);
    if (item == nullptr) {
        return false;
    }
    setNotice(std::nullopt);
    setEditingID(itemID);
    queueEdit(*item, ArchiveEdit{.kind = ArchiveEdit::Kind::rename,
                                 .entries = {path},
                                 .newName = name,
                                 .password = typedPassword(itemID).toStdString()});
    return true;
}

void PreviewModel::queueEdit(const ArchivePreviewItem& item, ArchiveEdit edit)
{
    WorkRequest request;
    request.paths = {item.url};
    request.interactive = true;
    request.edit = std::move(edit);
    m_queue(std::move(request));
}

void PreviewModel::cancelEdit()
{
    if (!m_editingID) {
        return;
    }
    if (m_clashQuestion) {
        answerClash(std::nullopt);
        return;
    }
    if (m_clashSession) {
        m_clashSession->cancel();
        setEditingID(std::nullopt);
        return;
    }
    if (const ArchivePreviewItem* item = this->item(*m_editingID); item != nullptr && m_cancelEditJob) {
        m_cancelEditJob(item->url);
    }
}

void PreviewModel::editEnded(const fs::path& archive, bool changed)
{
    if (m_editingID) {
        const ArchivePreviewItem* item = this->item(*m_editingID);
        if (item == nullptr || item->url == archive) {
            setEditingID(std::nullopt);
        }
    }
    if (!changed || !m_extractPreview) {
        return;
    }
    for (const ArchivePreviewItem& item : m_extractPreview->items) {
        if (item.url != archive) {
            continue;
        }
        // A verdict on the archive as it was no longer holds.
        if (m_tests.erase(item.id) > 0) {
            Q_EMIT testsChanged();
        }
        const std::string itemID = item.id;
        refreshListing(itemID);
        break;
    }
}

} // namespace tarvo::app
