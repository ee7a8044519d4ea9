#pragma once

#include "Banner.h"
#include "ProgressGate.h"
#include "Work.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/archive/ArchivePreview.h"
#include "engine/history/ArchiveRecord.h"
#include "engine/l10n/AppLanguage.h"
#include "engine/tools/ArchiveSession.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/RarSupport.h"
#include "engine/util/ScratchSpace.h"
#include "engine/vocabulary/ArchiveFormat.h"
#include "engine/vocabulary/CompressionLevel.h"
#include "engine/vocabulary/JobKind.h"
#include "platform/interfaces/Platform.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <vector>

class QSettings;

namespace tarvo::app {

// The application's one model: settings, history, what the windows show, and the queue of jobs.
// Lives on the main thread; tools run off it.
class AppModel : public QObject
{
public:
    using Records = std::vector<engine::ArchiveRecord>;
    using OptionalText = std::optional<QString>;
    using OptionalPreview = std::optional<engine::ExtractPreview>;
    using PreviewPasswords = std::map<std::string, QString>;
    using OptionalID = std::optional<std::string>;

private:
    Q_OBJECT
    Q_PROPERTY(tarvo::engine::ArchiveFormat format READ format WRITE setFormat NOTIFY formatChanged)
    Q_PROPERTY(bool revealInFinder READ revealInFinder WRITE setRevealInFinder NOTIFY revealInFinderChanged)
    Q_PROPERTY(bool askForDestination READ askForDestination WRITE setAskForDestination NOTIFY askForDestinationChanged)
    Q_PROPERTY(bool skipJunk READ skipJunk WRITE setSkipJunk NOTIFY skipJunkChanged)
    Q_PROPERTY(tarvo::engine::CompressionLevel level READ level WRITE setLevel NOTIFY levelChanged)
    Q_PROPERTY(tarvo::engine::AppLanguage language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(QString archivePassword READ archivePassword WRITE setArchivePassword NOTIFY archivePasswordChanged)
    Q_PROPERTY(QString archiveName READ archiveName WRITE setArchiveName NOTIFY archiveNameChanged)
    Q_PROPERTY(Records records READ records NOTIFY recordsChanged)
    Q_PROPERTY(tarvo::app::Banner banner READ banner NOTIFY bannerChanged)
    Q_PROPERTY(OptionalText alertMessage READ alertMessage NOTIFY alertMessageChanged)
    Q_PROPERTY(bool alertOffersRarInstall READ alertOffersRarInstall NOTIFY alertOffersRarInstallChanged)
    Q_PROPERTY(bool isWorking READ isWorking NOTIFY isWorkingChanged)
    Q_PROPERTY(bool isInstallingTools READ isInstallingTools NOTIFY isInstallingToolsChanged)
    Q_PROPERTY(tarvo::engine::RarSupport tools READ tools NOTIFY toolsChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(OptionalText loginNote READ loginNote NOTIFY loginNoteChanged)
    Q_PROPERTY(OptionalPreview extractPreview READ extractPreview NOTIFY extractPreviewChanged)
    Q_PROPERTY(PreviewPasswords previewPasswords READ previewPasswords NOTIFY previewPasswordsChanged)
    Q_PROPERTY(OptionalText previewNotice READ previewNotice NOTIFY previewNoticeChanged)
    Q_PROPERTY(OptionalID listingID READ listingID NOTIFY listingIDChanged)
    Q_PROPERTY(qint64 progressDone READ progressDone NOTIFY progressDoneChanged)
    Q_PROPERTY(qint64 progressTotal READ progressTotal NOTIFY progressTotalChanged)
    Q_PROPERTY(int progressPercent READ progressPercent NOTIFY progressPercentChanged)

public:
    struct Options
    {
        platform::Platform platform;
        // The settings file; empty means the user's "Tarvo/Tarvo.conf".
        QString settingsFile;
    };

    explicit AppModel(Options options, QObject* parent = nullptr);
    ~AppModel() override;

    // Settings. Each assignment writes all six settings, even an unchanged one.
    engine::ArchiveFormat format() const { return m_format; }
    void setFormat(engine::ArchiveFormat format);
    bool revealInFinder() const { return m_revealInFinder; }
    void setRevealInFinder(bool reveal);
    bool askForDestination() const { return m_askForDestination; }
    void setAskForDestination(bool ask);
    bool skipJunk() const { return m_skipJunk; }
    void setSkipJunk(bool skip);
    // Each new archive is tested before its job is called done.
    bool verifyAfterCreating() const { return m_verifyAfterCreating; }
    void setVerifyAfterCreating(bool verify);
    engine::CompressionLevel level() const { return m_level; }
    void setLevel(engine::CompressionLevel level);
    engine::AppLanguage language() const { return m_language; }
    void setLanguage(engine::AppLanguage language);

    // Typed in the main window; never stored.
    const QString& archivePassword() const { return m_archivePassword; }
    void setArchivePassword(const QString& password);
    const QString& archiveName() const { return m_archiveName; }
    void setArchiveName(const QString& name);

    const std::vector<engine::ArchiveRecord>& records() const { return m_records; }
    const Banner& banner() const { return m_banner; }
    const std::optional<QString>& alertMessage() const { return m_alertMessage; }
    void dismissAlert();
    bool alertOffersRarInstall() const { return m_alertOffersRarInstall; }
    bool isWorking() const { return m_isWorking; }
    bool isInstallingTools() const { return m_isInstallingTools; }
    const engine::RarSupport& tools() const { return m_tools; }
    bool launchAtLogin() const { return m_launchAtLogin; }
    const std::optional<QString>& loginNote() const { return m_loginNote; }
    const std::optional<engine::ExtractPreview>& extractPreview() const { return m_extractPreview; }
    const std::map<std::string, QString>& previewPasswords() const { return m_previewPasswords; }
    const std::optional<QString>& previewNotice() const { return m_previewNotice; }
    const std::optional<std::string>& listingID() const { return m_listingID; }
    // What testing an archive of the preview found, by item, kept as found: its sentence is made
    // in the interface language of the moment it is shown.
    struct PreviewTest
    {
        std::optional<engine::TestReport> report; // absent when the test failed
        std::exception_ptr failure;
        bool sound = false;

        QString verdict() const;
    };
    const std::map<std::string, PreviewTest>& previewTests() const { return m_previewTests; }
    // The item being tested, one at a time.
    const std::optional<std::string>& testingID() const { return m_testingID; }
    qint64 progressDone() const { return m_progressDone; }
    qint64 progressTotal() const { return m_progressTotal; }
    // What the running tool last said of its own advance, -1 when it says nothing.
    int progressPercent() const { return m_progressPercent; }
    // For a progress bar: none while idle or when the total is unknown; never 1 while a job runs.
    std::optional<double> progressFraction() const;

    // Intake. Only local files reach the queue.
    void enqueue(const QList<QUrl>& urls, bool interactive, const engine::WorkAction& action,
                 long long plannedFiles = 0);
    void handleFinder(const QString& action, const QStringList& paths);
    // The desktop file's actions ("tarvo --finder ACTION PATH..."): an empty selection, or one
    // without an archive to extract or test, is said in the alert; the rest goes to handleFinder.
    void handleDesktopAction(const QString& action, const QStringList& paths);
    // Files handed to "tarvo PATH...": a drop on the main window, refused as a drop is.
    void open(const QStringList& paths);
    // Whether a drop on the main window is taken now: not while a job runs or the preview is open.
    bool acceptsDrop() const { return !m_isWorking && !m_extractPreview; }
    void pickAndCompress();
    void pickAndExtract();
    // Stops the running job's tool and any unpacking for a drag; queued jobs still run.
    void cancel();

    // The preview sheet. A typed password clears the notice.
    void setPreviewPassword(const std::string& itemID, const QString& password);
    void refreshListing(const std::string& itemID);
    // Reads the item's archive through with the password typed for it, writing nothing.
    void testArchive(const std::string& itemID);
    // Reads the archive's names in `encoding` (empty: the one detected) and lists it again at once;
    // extracting and testing from the preview then read them so too. Not while it is listed or tested.
    void setPreviewEncoding(const std::string& itemID, const std::string& encoding);
    void confirmExtract();
    void extractOne(const engine::ArchivePreviewItem& item, const engine::ArchiveEntry& entry);
    // The sheet's Cancel.
    void closePreview();
    // Entries of the item dragged out of the preview, unpacked with its typed password into a
    // private folder of their own: their file URLs, or none when they could not be unpacked (the
    // notice says why). The folder stays until the preview closes or Tarvo quits, since the drop
    // target may still be copying from it after the drop.
    QCoro::Task<QList<QUrl>> unpackForDrag(std::string itemID, std::vector<engine::ArchiveEntry> entries);
    // The item whose entries are being unpacked for a drag.
    const std::optional<std::string>& unpackingID() const { return m_unpackingID; }

    // History.
    void remove(const engine::ArchiveRecord& record);
    void clearHistory();
    // Shows the record's result in the file manager, as it is: a result that is gone is no error here.
    void reveal(const engine::ArchiveRecord& record);

    // Login item.
    void setLaunchAtLogin(bool enabled);
    void refreshLoginStatus();
    // The file managers' items for this user: the failure's text, or none when they were added.
    std::optional<QString> addToFileManager();

    // Looks for the tools again, off the main thread (the settings window does it when shown).
    void refreshTools();
    // Tool installation from the settings window.
    void installRarTools();
    void installSevenZip();

    // The progress hook handed to the tools; callable from any thread.
    std::function<void(const engine::ProgressStep&)> progressHandler() const;

Q_SIGNALS:
    void formatChanged();
    void revealInFinderChanged();
    void askForDestinationChanged();
    void skipJunkChanged();
    void verifyAfterCreatingChanged();
    void levelChanged();
    void languageChanged();
    void archivePasswordChanged();
    void archiveNameChanged();
    void recordsChanged();
    void bannerChanged();
    void alertMessageChanged();
    void alertOffersRarInstallChanged();
    void isWorkingChanged();
    void isInstallingToolsChanged();
    void toolsChanged();
    void launchAtLoginChanged();
    void loginNoteChanged();
    void extractPreviewChanged();
    void previewPasswordsChanged();
    void previewNoticeChanged();
    void listingIDChanged();
    // previewTests or testingID changed.
    void previewTestsChanged();
    void unpackingIDChanged();
    void progressDoneChanged();
    void progressTotalChanged();
    void progressPercentChanged();
    // A job left the queue and the queue is empty again.
    void drained();

private:
    // Assigns and notifies only on a change; whether it changed.
    template <typename T> bool assign(T& field, T value, void (AppModel::*changed)())
    {
        if (field == value) {
            return false;
        }
        field = std::move(value);
        Q_EMIT(this->*changed)();
        return true;
    }

    // Queue.
    void enqueuePaths(std::vector<std::filesystem::path> paths, bool interactive, engine::WorkAction action,
                      long long plannedFiles);
    QCoro::Task<> drain();
    QCoro::Task<> perform(Work work);
    QCoro::Task<> pick(platform::OpenRequest request, engine::WorkAction action);
    // `oneRun`: the job is one tool run, so the tool's percentage is the job's.
    void beginProgress(long long total, bool oneRun = true);
    void addProgress(long long ticks, int percent);
    void setPercent(int percent);
    void flushProgress();
    void scheduleBannerReset();
    void setBanner(Banner banner);
    void setAlert(const QString& text, bool offersRarInstall);
    void setWorking(bool working);
    void setProgress(long long done, long long total);

    // Jobs.
    QCoro::Task<> compress(Work work, engine::ArchiveFormat format);
    QCoro::Task<> extract(Work work, engine::WorkAction::Passwords passwords, engine::WorkAction::Encodings encodings);
    // Reads each archive through and says what is damaged; writes nothing and records nothing. The
    // protected ones are shown in the preview, where their password is typed and Test pressed.
    QCoro::Task<> test(Work work);
    // `kind`: what the failure is recorded as in the history; none for a test.
    void report(std::exception_ptr error, const Work& work, std::optional<engine::JobKind> kind,
                engine::ArchiveFormat format);
    // A failure in the banner, the alert when a person waits, and a notification in the background.
    void showFailure(const QString& text, bool interactive, bool offersInstall = false);
    QCoro::Task<std::optional<std::filesystem::path>> destinationDirectory(std::vector<std::filesystem::path> urls,
                                                                           bool interactive);
    // The running job's session: the model's session from the guard's making until it goes, however
    // the job ends, so that Cancel reaches the job's tools and nothing after it. A local of the job's
    // coroutine; a model gone meanwhile is left alone.
    class JobSession
    {
    public:
        explicit JobSession(AppModel& model);
        ~JobSession();
        JobSession(const JobSession&) = delete;
        JobSession& operator=(const JobSession&) = delete;

        const std::shared_ptr<engine::ArchiveSession>& session() const { return m_session; }

    private:
        QPointer<AppModel> m_model;
        std::shared_ptr<engine::ArchiveSession> m_session;
    };

    // Runs the job's engine call on a worker.
    QCoro::Task<std::filesystem::path> runJob(std::function<std::filesystem::path()> call);
    // The success of a job: banner and its reset, a notification, and the results shown.
    void succeed(const QString& text, bool interactive, const std::vector<std::filesystem::path>& results);
    void record(engine::ArchiveRecord record);
    void announce(const QString& text);
    void revealPaths(const std::vector<std::filesystem::path>& paths);

    // Preview.
    QCoro::Task<> presentPreview(Work work);
    QCoro::Task<> relist(std::string itemID, std::filesystem::path archive, std::string password, std::string encoding);
    QCoro::Task<> retest(std::string itemID, std::filesystem::path archive, std::string password, std::string encoding);
    // The password typed in the preview for this item, or an empty one.
    QString typedPassword(const std::string& itemID) const;
    QCoro::Task<> extractFile(Work work, std::string path, std::string password, std::string encoding);
    // Stops the unpacking for drags and removes what they unpacked.
    void releaseDragFolders();
    // Removes the folders on a worker.
    void removeLater(std::vector<std::filesystem::path> folders);

    // Persistence.
    void loadSettings();
    void loadHistory();
    void persist();
    void saveHistory();

    // Tool installation.
    QCoro::Task<> relocateTools();
    QCoro::Task<> finishInstallation(QCoro::Task<engine::RarSupport> installation);

    // Observed state.
    engine::ArchiveFormat m_format = engine::ArchiveFormat::zip;
    bool m_revealInFinder = true;
    bool m_askForDestination = false;
    bool m_skipJunk = true;
    bool m_verifyAfterCreating = false;
    engine::CompressionLevel m_level = engine::CompressionLevel::normal;
    engine::AppLanguage m_language;
    QString m_archivePassword;
    QString m_archiveName;
    std::vector<engine::ArchiveRecord> m_records;
    Banner m_banner;
    std::optional<QString> m_alertMessage;
    bool m_alertOffersRarInstall = false;
    bool m_isWorking = false;
    bool m_isInstallingTools = false;
    engine::RarSupport m_tools;
    bool m_launchAtLogin = false;
    std::optional<QString> m_loginNote;
    std::optional<engine::ExtractPreview> m_extractPreview;
    std::map<std::string, QString> m_previewPasswords;
    std::optional<QString> m_previewNotice;
    std::optional<std::string> m_listingID;
    std::map<std::string, PreviewTest> m_previewTests;
    std::optional<std::string> m_testingID;
    std::optional<std::string> m_unpackingID;
    qint64 m_progressDone = 0;
    qint64 m_progressTotal = 0;
    int m_progressPercent = -1;
    bool m_progressIsOneRun = true;

    // Private state.
    std::deque<Work> m_queue;
    bool m_draining = false;
    bool m_ready = false;
    std::string m_bannerToken;
    std::shared_ptr<engine::ArchiveSession> m_session;
    // A re-listing started while no job runs, so that quitting can stop it.
    std::shared_ptr<engine::ArchiveSession> m_listingSession;
    std::shared_ptr<engine::ArchiveSession> m_testSession;
    // Where drags out of the preview unpack: the sessions still unpacking, and the folders that hold
    // what they unpacked for the preview on show.
    std::unique_ptr<engine::ScratchSpace> m_dragSpace;
    std::vector<std::shared_ptr<engine::ArchiveSession>> m_dragSessions;
    std::vector<std::filesystem::path> m_dragFolders;
    std::shared_ptr<ProgressGate> m_progressGate;
    // Takes the ticks counted on the tools' threads that have not reached the model yet.
    std::function<long long()> m_flushTicks;

    platform::Platform m_platform;
    std::unique_ptr<QSettings> m_settings;
    // Tool runs block a worker each; a listing in the preview may run beside a job.
    QThreadPool m_workers;
};

} // namespace tarvo::app
