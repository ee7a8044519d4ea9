// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Observed.h"
#include "Work.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/archive/ArchivePreview.h"
#include "engine/tools/ArchiveSession.h"
#include "engine/tools/RarSupport.h"
#include "engine/util/ScratchSpace.h"
#include "platform/interfaces/FileDialogs.h"
#include "platform/interfaces/FileReveal.h"

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUrl>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <vector>

namespace tarvo::app {

// The extract preview: the archives listed before an extraction, the passwords typed for them, what
// testing them found, and the rows dragged out of them. Lives on the main thread beside the
// application model, whose queue lists the archives (`present`) and runs the extractions asked for
// here. Tools run off the main thread.
class PreviewModel : public QObject
{
public:
    using OptionalPreview = std::optional<engine::ExtractPreview>;
    using Passwords = std::map<std::string, QString>;
    using OptionalText = std::optional<QString>;
    using OptionalID = std::optional<std::string>;

private:
    Q_OBJECT
    Q_PROPERTY(OptionalPreview extractPreview READ extractPreview NOTIFY extractPreviewChanged)
    Q_PROPERTY(Passwords passwords READ passwords NOTIFY passwordsChanged)
    Q_PROPERTY(OptionalText notice READ notice NOTIFY noticeChanged)
    Q_PROPERTY(OptionalID listingID READ listingID NOTIFY listingIDChanged)
    Q_PROPERTY(OptionalID editingID READ editingID NOTIFY editingIDChanged)

public:
    // The one way to the queue: extracting the previewed archives, or one entry of them, is asked
    // of it as a request.
    using Queue = std::function<void(WorkRequest)>;

    explicit PreviewModel(Queue queue, QObject* parent = nullptr);
    ~PreviewModel() override;

    // What the sheet shows; none while it is closed.
    const std::optional<engine::ExtractPreview>& extractPreview() const { return m_extractPreview; }
    // By item; never stored.
    const std::map<std::string, QString>& passwords() const { return m_passwords; }
    const std::optional<QString>& notice() const { return m_notice; }
    // The item being listed again, one at a time.
    const std::optional<std::string>& listingID() const { return m_listingID; }
    // What testing an archive found, by item, kept as found: its sentence is made in the interface
    // language of the moment it is shown.
    struct TestOutcome
    {
        std::optional<engine::TestReport> report; // absent when the test failed
        std::exception_ptr failure;
        bool sound = false;

        QString verdict() const;
    };
    const std::map<std::string, TestOutcome>& tests() const { return m_tests; }
    // The item being tested, one at a time.
    const std::optional<std::string>& testingID() const { return m_testingID; }
    // The item whose entries are being unpacked for a drag.
    const std::optional<std::string>& unpackingID() const { return m_unpackingID; }

    // The sheet. A typed password clears the notice.
    void setPassword(const std::string& itemID, const QString& password);
    void refreshListing(const std::string& itemID);
    // Reads the item's archive through with the password typed for it, writing nothing.
    void testArchive(const std::string& itemID);
    // Reads the archive's names in `encoding` (empty: the one detected) and lists it again at once;
    // extracting and testing from the preview then read them so too. Not while it is listed or tested.
    void setEncoding(const std::string& itemID, const std::string& encoding);
    // Closes the sheet and queues the extraction of every archive, each with its typed password.
    void confirmExtract();
    // Queues one entry's extraction; the sheet stays. Not while a job runs.
    void extractOne(const engine::ArchivePreviewItem& item, const engine::ArchiveEntry& entry);
    // Queues the extraction of several entries, each with its path, into one new folder.
    void extractSelected(const engine::ArchivePreviewItem& item, std::vector<std::string> paths);
    // The sheet's Cancel.
    void close();
    // Entries of the item dragged out of the preview, unpacked with its typed password into a
    // private folder of their own: their file URLs, or none when they could not be unpacked (the
    // notice says why). The folder stays until the preview closes or Tarvo quits, since the drop
    // target may still be copying from it after the drop.
    QCoro::Task<QList<QUrl>> unpackForDrag(std::string itemID, std::vector<engine::ArchiveEntry> entries);
    // One entry unpacked so, made read-only and opened in the desktop's default application; one
    // that could run a program (an executable, a script, a launcher) or a folder is shown in the
    // file manager instead, and for the former the notice says why.
    QCoro::Task<> openEntry(std::string itemID, engine::ArchiveEntry entry);

    // Changing an archive in place, each change a job of the queue with the password typed for the
    // archive. Nothing is asked while the queue works or another change is under way, of an archive
    // that cannot be changed, or of a protected one without its password (the notice asks for it).
    // Why the item's archive cannot be changed, in the interface language; none: it can.
    std::optional<QString> editBlocker(const std::string& itemID) const;
    // Whether the item's archive may be changed now.
    bool canEdit(const std::string& itemID) const;
    // Where new items go when `selected` is the selected row: into a folder, beside a file; none
    // selected: the top ("").
    static std::string folderFor(const std::optional<engine::ArchiveEntry>& selected);
    // The open panel for files and folders, which then go to addItems.
    void chooseItemsToAdd(const std::string& itemID, std::string into);
    // Adds files and folders into the archive's folder `into`. Where the archive already holds
    // entries of their paths, the clash question is asked first and the job waits for its answer.
    void addItems(const std::string& itemID, std::vector<std::filesystem::path> items, std::string into);
    struct ClashQuestion
    {
        std::string itemID;
        std::vector<std::string> entries; // the paths already there
        QString text;                     // "“a.zip” already holds “x.txt”."

        bool operator==(const ClashQuestion&) const = default;
    };
    // The question a view shows while it waits; none when nothing is asked.
    const std::optional<ClashQuestion>& clashQuestion() const { return m_clashQuestion; }
    // Replace or Keep both; none: Cancel, and nothing is added.
    void answerClash(std::optional<engine::ClashChoice> choice);
    // How many entries taking out `paths` removes, as the listing knows them: each path, and every
    // entry below a folder among them, once.
    std::int64_t removalCount(const std::string& itemID, const std::vector<std::string>& paths) const;
    // Takes the entries out, folders with everything below them; the view has asked first.
    void removeEntries(const std::string& itemID, std::vector<std::string> paths);
    // Gives the entry the new name in its folder. A name that is empty, "." or "..", or holds a "/",
    // is refused here, with the notice: false then.
    bool renameEntry(const std::string& itemID, const std::string& path, const QString& newName);
    // The item being changed: its clashes looked for, its question asked, or its job queued or running.
    const std::optional<std::string>& editingID() const { return m_editingID; }
    // Stops the change under way: the look for clashes, or the running job.
    void cancelEdit();
    // From the queue: the job that changed `archive` ended; when it `changed` it, the archive is
    // listed again and its former test verdict goes.
    void editEnded(const std::filesystem::path& archive, bool changed);

    // What the application model tells the preview and asks of it.
    struct Presentation
    {
        std::vector<std::filesystem::path> archives{};
        // The queued job's: Cancel stops the listing.
        std::shared_ptr<engine::ArchiveSession> session{};
        // A test found them protected: the notice asks for their passwords at once.
        bool askForPasswords = false;
    };
    // Lists the archives and shows them in place of the preview before; throws when cancelled.
    QCoro::Task<> present(Presentation presentation);
    void setTools(engine::RarSupport tools);
    // Where opened entries go: the desktop's default applications and its file manager.
    void setReveal(std::shared_ptr<platform::FileReveal> reveal);
    // The open panels, for the files to add.
    void setDialogs(std::shared_ptr<platform::FileDialogs> dialogs);
    // Stops the queue's running job when it changes `archive`.
    void setCancelEditJob(std::function<void(const std::filesystem::path&)> cancel);
    void setQueueWorking(bool working);
    // Stops the unpacking for drags (the main window's Cancel, quitting).
    void stopUnpacking();

Q_SIGNALS:
    void extractPreviewChanged();
    void passwordsChanged();
    void noticeChanged();
    void listingIDChanged();
    // tests or testingID changed.
    void testsChanged();
    void unpackingIDChanged();
    void editingIDChanged();
    void clashQuestionChanged();
    // What canEdit and editBlocker answer may differ: the queue started or stopped, tools were found.
    void editableChanged();
    // The interface language changed: texts made from the preview read anew.
    void languageChanged();

private:
    const engine::ArchivePreviewItem* item(const std::string& itemID) const;
    // The password typed in the preview for this item, or an empty one.
    QString typedPassword(const std::string& itemID) const;
    // A protected archive without a password typed: the notice asks for it.
    bool lacksPassword(const engine::ArchivePreviewItem& item);
    void setNotice(std::optional<QString> notice);
    QCoro::Task<> relist(std::string itemID, std::filesystem::path archive, std::string password, std::string encoding);
    QCoro::Task<> retest(std::string itemID, std::filesystem::path archive, std::string password, std::string encoding);
    void setEditingID(std::optional<std::string> itemID);
    // The item when it may be changed now; else none, and the notice says what is missing.
    const engine::ArchivePreviewItem* editableItem(const std::string& itemID);
    QCoro::Task<> checkClashes(std::string itemID, std::filesystem::path archive, ArchiveEdit edit);
    void queueEdit(const engine::ArchivePreviewItem& item, ArchiveEdit edit);
    QCoro::Task<> chooseThenAdd(std::string itemID, std::string into, platform::OpenRequest request);
    // Stops the unpacking for drags and removes what they unpacked.
    void releaseDragFolders();
    // Removes the folders on a worker.
    void removeLater(std::vector<std::filesystem::path> folders);

    // Observed state.
    std::optional<engine::ExtractPreview> m_extractPreview;
    std::map<std::string, QString> m_passwords;
    std::optional<QString> m_notice;
    std::optional<std::string> m_listingID;
    std::map<std::string, TestOutcome> m_tests;
    std::optional<std::string> m_testingID;
    std::optional<std::string> m_unpackingID;
    std::optional<std::string> m_editingID;
    std::optional<ClashQuestion> m_clashQuestion;

    // Private state.
    Queue m_queue;
    engine::RarSupport m_tools;
    std::shared_ptr<platform::FileReveal> m_reveal;
    std::shared_ptr<platform::FileDialogs> m_dialogs;
    std::function<void(const std::filesystem::path&)> m_cancelEditJob;
    // The addition waiting for the clash question's answer, and the look for clashes under way.
    std::optional<ArchiveEdit> m_pendingAdd;
    std::shared_ptr<engine::ArchiveSession> m_clashSession;
    bool m_queueWorking = false;
    // A re-listing, so that quitting can stop it; a test, so that closing can too.
    std::shared_ptr<engine::ArchiveSession> m_listingSession;
    std::shared_ptr<engine::ArchiveSession> m_testSession;
    // Where drags out of the preview unpack: the sessions still unpacking, and the folders that hold
    // what they unpacked for the preview on show.
    std::unique_ptr<engine::ScratchSpace> m_dragSpace;
    std::vector<std::shared_ptr<engine::ArchiveSession>> m_dragSessions;
    std::vector<std::filesystem::path> m_dragFolders;
    // Listings, tests and drags each block a worker while their tool runs; they may run side by side.
    QThreadPool m_workers;
};

} // namespace tarvo::app
