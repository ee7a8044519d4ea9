// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Banner.h"
#include "Observed.h"
#include "PreviewModel.h"
#include "ProgressGate.h"
#include "Work.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/history/ArchiveRecord.h"
#include "engine/l10n/AppLanguage.h"
#include "engine/tools/ArchiveSession.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/RarSupport.h"
#include "engine/vocabulary/ArchiveFormat.h"
#include "engine/vocabulary/CompressionLevel.h"
#include "engine/vocabulary/JobKind.h"
#include "engine/vocabulary/ZipEncryption.h"
#include "platform/interfaces/Platform.h"

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <vector>

class QSettings;

namespace tarvo::app {

// The application's model: settings, history, what the main window and the tray show, and the queue
// of jobs. The extract preview has a model of its own beside it, which the queue's jobs fill and
// which hands its extractions back to the queue. Lives on the main thread; tools run off it.
class AppModel : public QObject
{
public:
    // What went wrong, for a person waiting at a window.
    struct Alert
    {
        QString text;
        bool offersRarInstall = false; // the settings window can install the missing tool

        bool operator==(const Alert&) const = default;
    };
    // How far the running job is.
    struct Progress
    {
        qint64 done = 0;
        qint64 total = 0; // 0 when unknown
        // What the running tool last said of its own advance, -1 when it says nothing.
        int percent = -1;

        bool operator==(const Progress&) const = default;
    };
    using Records = std::vector<engine::ArchiveRecord>;
    using OptionalText = std::optional<QString>;
    using OptionalAlert = std::optional<Alert>;

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
    Q_PROPERTY(OptionalAlert alert READ alert NOTIFY alertChanged)
    Q_PROPERTY(bool isWorking READ isWorking NOTIFY isWorkingChanged)
    Q_PROPERTY(bool isInstallingTools READ isInstallingTools NOTIFY isInstallingToolsChanged)
    Q_PROPERTY(tarvo::engine::RarSupport tools READ tools NOTIFY toolsChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(OptionalText loginNote READ loginNote NOTIFY loginNoteChanged)
    Q_PROPERTY(Progress progress READ progress NOTIFY progressChanged)

public:
    struct Options
    {
        platform::Platform platform;
        // The settings file; empty means the user's "Tarvo/Tarvo.conf".
        QString settingsFile;
    };

    // `preview` outlives the model.
    AppModel(PreviewModel& preview, Options options, QObject* parent = nullptr);
    ~AppModel() override;

    // Settings. Each assignment writes all the settings, even an unchanged one.
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
    engine::ZipEncryption zipEncryption() const { return m_zipEncryption; }
    void setZipEncryption(engine::ZipEncryption encryption);
    // New ZIP, 7Z and RAR archives are cut into parts of at most this many bytes; 0: not cut.
    std::uint64_t volumeSize() const { return m_volumeSize; }
    void setVolumeSize(std::uint64_t bytes);
    engine::AppLanguage language() const { return m_language; }
    void setLanguage(engine::AppLanguage language);
    // The size the user last gave the preview; invalid until then.
    QSize previewSize() const { return m_previewSize; }
    void setPreviewSize(QSize size);

    // Typed in the main window; never stored.
    const QString& archivePassword() const { return m_archivePassword; }
    void setArchivePassword(const QString& password);
    const QString& archiveName() const { return m_archiveName; }
    void setArchiveName(const QString& name);

    const std::vector<engine::ArchiveRecord>& records() const { return m_records; }
    const Banner& banner() const { return m_banner; }
    const std::optional<Alert>& alert() const { return m_alert; }
    void dismissAlert();
    bool isWorking() const { return m_isWorking; }
    bool isInstallingTools() const { return m_isInstallingTools; }
    const engine::RarSupport& tools() const { return m_tools; }
    bool launchAtLogin() const { return m_launchAtLogin; }
    const std::optional<QString>& loginNote() const { return m_loginNote; }
    const Progress& progress() const { return m_progress; }
    // For a progress bar: none while idle or when the total is unknown; never 1 while a job runs.
    std::optional<double> progressFraction() const;

    // Intake. The request's paths are cleaned here, once.
    void enqueue(WorkRequest request);
    void handleFinder(const QString& action, const QStringList& paths);
    // The desktop file's actions ("tarvo --finder ACTION PATH..."): an empty selection, or one
    // without an archive to extract or test, is said in the alert; the rest goes to handleFinder.
    void handleDesktopAction(const QString& action, const QStringList& paths);
    // Files handed to "tarvo PATH...": a drop on the main window, refused as a drop is.
    void open(const QStringList& paths);
    // Whether a drop on the main window is taken now: not while a job runs or the preview is open.
    bool acceptsDrop() const;
    // The open panel for files to compress or archives to extract, whose choice is queued; not while
    // a job runs.
    void pick(engine::JobKind kind);
    // Stops the running job's tool and any unpacking for a drag; queued jobs still run.
    void cancel();

    // History.
    void remove(const engine::ArchiveRecord& record);
    void clearHistory();
    // Shows the record's result in the file manager, as it is: a result that is gone is no error here.
    void reveal(const engine::ArchiveRecord& record);

    // Login item.
    void setLaunchAtLogin(bool enabled);
    // The file managers' items for this user: the failure's text, or none when they were added.
    std::optional<QString> addToFileManager();

    // Reads again what may have changed outside Tarvo: the login item's status, and the tools, looked
    // for off the main thread (the settings window does it when shown).
    void refreshFromSystem();
    // Installs the tools that make archives of this format, from the settings window: RARLAB's for
    // RAR, 7-Zip through Homebrew for 7Z.
    void installToolsFor(engine::ArchiveFormat format);

Q_SIGNALS:
    void formatChanged();
    void revealInFinderChanged();
    void askForDestinationChanged();
    void skipJunkChanged();
    void zipEncryptionChanged();
    void volumeSizeChanged();
    void verifyAfterCreatingChanged();
    void levelChanged();
    void languageChanged();
    void archivePasswordChanged();
    void archiveNameChanged();
    void recordsChanged();
    void bannerChanged();
    void alertChanged();
    void isWorkingChanged();
    void isInstallingToolsChanged();
    void toolsChanged();
    void launchAtLoginChanged();
    void loginNoteChanged();
    void progressChanged();
    // A job left the queue and the queue is empty again.
    void drained();

private:
    // Queue.
    QCoro::Task<> drain();
    QCoro::Task<> perform(Work work);
    QCoro::Task<> queueChosen(platform::OpenRequest request, engine::WorkAction action);
    // `oneRun`: the job is one tool run, so the tool's percentage is the job's.
    void beginProgress(long long total, bool oneRun = true);
    void addProgress(long long ticks, int percent);
    void setPercent(int percent);
    void flushProgress();
    void scheduleBannerReset();
    void setBanner(Banner banner);
    void setAlert(Alert alert);
    void setWorking(bool working);
    void setProgress(long long done, long long total);
    // The progress hook handed to the tools; callable from any thread.
    std::function<void(const engine::ProgressStep&)> progressHandler() const;

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
    QCoro::Task<std::optional<std::filesystem::path>> destinationDirectory(std::vector<std::filesystem::path> paths,
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
        // The archive the running job changes in place, if it does.
        std::optional<std::filesystem::path> m_editedArchive;
    };

    // Runs the job's engine call on a worker.
    QCoro::Task<std::filesystem::path> runJob(std::function<std::filesystem::path()> call);
    // The success of a job: banner and its reset, a notification, and the results shown.
    void succeed(const QString& text, bool interactive, const std::vector<std::filesystem::path>& results);
    void record(engine::ArchiveRecord record);
    void announce(const QString& text);
    void revealPaths(const std::vector<std::filesystem::path>& paths);

    // Changes an archive of the preview in place; the preview lists it again afterwards.
    QCoro::Task<> edit(Work work);

    // Lists the archives in the preview, as a job of the queue: Cancel reaches the listing.
    QCoro::Task<> presentPreview(PreviewModel::Presentation presentation);
    // One entry out of the preview's archive.
    QCoro::Task<> extractFile(Work work, std::vector<std::string> paths, std::string password, std::string encoding);

    // Persistence.
    void loadSettings();
    void loadHistory();
    void persist();
    void saveHistory();
    void readLoginStatus();

    // Tool installation.
    QCoro::Task<> relocateTools();
    QCoro::Task<> finishInstallation(QCoro::Task<engine::RarSupport> installation);

    // Observed state.
    engine::ArchiveFormat m_format = engine::ArchiveFormat::zip;
    bool m_revealInFinder = true;
    bool m_askForDestination = false;
    bool m_skipJunk = true;
    engine::ZipEncryption m_zipEncryption = engine::ZipEncryption::aes256;
    std::uint64_t m_volumeSize = 0;
    bool m_verifyAfterCreating = false;
    engine::CompressionLevel m_level = engine::CompressionLevel::normal;
    engine::AppLanguage m_language;
    QSize m_previewSize;
    QString m_archivePassword;
    QString m_archiveName;
    std::vector<engine::ArchiveRecord> m_records;
    Banner m_banner;
    std::optional<Alert> m_alert;
    bool m_isWorking = false;
    bool m_isInstallingTools = false;
    engine::RarSupport m_tools;
    bool m_launchAtLogin = false;
    std::optional<QString> m_loginNote;
    Progress m_progress;
    bool m_progressIsOneRun = true;

    // Private state.
    std::deque<Work> m_queue;
    bool m_draining = false;
    bool m_ready = false;
    std::string m_bannerToken;
    std::shared_ptr<engine::ArchiveSession> m_session;
    // The archive the running job changes in place, if it does.
    std::optional<std::filesystem::path> m_editedArchive;
    std::shared_ptr<ProgressGate> m_progressGate;
    // Takes the ticks counted on the tools' threads that have not reached the model yet.
    std::function<long long()> m_flushTicks;

    PreviewModel& m_preview;
    platform::Platform m_platform;
    std::unique_ptr<QSettings> m_settings;
    // A job's tool runs block a worker each.
    QThreadPool m_workers;
};

} // namespace tarvo::app
