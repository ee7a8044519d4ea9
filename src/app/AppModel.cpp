#include "AppModel.h"

#include "engine/l10n/L10n.h"
#include "engine/tools/ProgressStep.h"
#include "engine/tools/ToolLocator.h"
#include "engine/util/AppPaths.h"
#include "engine/util/Uuid.h"

#include <QMetaObject>
#include <QPointer>
#include <QSettings>
#include <algorithm>
#include <atomic>
#include <chrono>

namespace tarvo::app {

using namespace engine;

namespace {

// Ticks arrive on the tools' reader threads, possibly thousands a second. They are counted here and
// handed to the main thread in batches: one queued call at a time, however many ticks it carries,
// so a chatty tool cannot flood the event loop. The count stays exact.
struct TickRelay
{
    QPointer<AppModel> model;
    std::atomic<long long> pending{0};
    std::atomic<int> percent{-1}; // the latest a tool reported, -1 when none since the last hand-over
    std::atomic<bool> posted{false};
};

constexpr std::chrono::milliseconds kBannerResetDelay{2400};

} // namespace

AppModel::AppModel(Options options, QObject* parent)
    : QObject(parent)
    , m_language(AppLanguage::matchingSystem())
    , m_bannerToken(makeUuid())
    , m_progressGate(std::make_shared<ProgressGate>())
    , m_platform(std::move(options.platform))
{
    m_settings = options.settingsFile.isEmpty()
                     ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                   QStringLiteral("Tarvo"), QStringLiteral("Tarvo"))
                     : std::make_unique<QSettings>(options.settingsFile, QSettings::IniFormat);
    // A tool run holds a worker for its whole length; a re-listing may run beside a job.
    m_workers.setMaxThreadCount(4);
    // What drags unpacked in a run that ended without cleaning up goes at the start of the next.
    const std::filesystem::path dragRoot = AppPaths::cacheDirectory() / "drag";
    m_dragSpace = std::make_unique<ScratchSpace>(dragRoot);
    m_workers.start([dragRoot] { ScratchSpace::sweep(dragRoot); });

    loadSettings();
    loadHistory();
    m_tools = ToolLocator::rarSupport();
    refreshLoginStatus();

    auto relay = std::make_shared<TickRelay>();
    relay->model = this;
    m_progressGate->setHandler([relay](const ProgressStep& step) {
        if (step.entries > 0) {
            relay->pending.fetch_add(step.entries, std::memory_order_relaxed);
        }
        if (step.percent >= 0) {
            relay->percent.store(step.percent, std::memory_order_relaxed);
        }
        if (relay->posted.exchange(true)) {
            return;
        }
        QMetaObject::invokeMethod(
            relay->model.data(),
            [relay] {
                relay->posted.store(false);
                const long long ticks = relay->pending.exchange(0);
                const int percent = relay->percent.exchange(-1);
                if (relay->model) {
                    relay->model->addProgress(ticks, percent);
                }
            },
            Qt::QueuedConnection);
    });
    // The model flushes what is still pending when a tool run ends.
    m_flushTicks = [relay] {
        relay->percent.store(-1);
        return relay->pending.exchange(0);
    };

    m_ready = true;
}

AppModel::~AppModel()
{
    // Tools still running must not post ticks to a model that is gone.
    m_progressGate->setHandler([](const ProgressStep&) {});
    for (const auto& session : {m_session, m_listingSession, m_testSession}) {
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

void AppModel::setFormat(ArchiveFormat format)
{
    assign(m_format, format, &AppModel::formatChanged);
    persist();
}

void AppModel::setRevealInFinder(bool reveal)
{
    assign(m_revealInFinder, reveal, &AppModel::revealInFinderChanged);
    persist();
}

void AppModel::setAskForDestination(bool ask)
{
    assign(m_askForDestination, ask, &AppModel::askForDestinationChanged);
    persist();
}

void AppModel::setSkipJunk(bool skip)
{
    assign(m_skipJunk, skip, &AppModel::skipJunkChanged);
    persist();
}

void AppModel::setVerifyAfterCreating(bool verify)
{
    assign(m_verifyAfterCreating, verify, &AppModel::verifyAfterCreatingChanged);
    persist();
}

void AppModel::setLevel(CompressionLevel level)
{
    assign(m_level, level, &AppModel::levelChanged);
    persist();
}

void AppModel::setLanguage(AppLanguage language)
{
    if (m_language == language) {
        return;
    }
    // The interface language changes first, so that whatever reacts to the signal reads new texts.
    L10n::setLanguage(language);
    assign(m_language, language, &AppModel::languageChanged);
    persist();
    refreshLoginStatus();
}

void AppModel::setArchivePassword(const QString& password)
{
    assign(m_archivePassword, password, &AppModel::archivePasswordChanged);
}

void AppModel::setArchiveName(const QString& name)
{
    assign(m_archiveName, name, &AppModel::archiveNameChanged);
}

void AppModel::dismissAlert()
{
    assign(m_alertMessage, std::optional<QString>(), &AppModel::alertMessageChanged);
}

std::optional<double> AppModel::progressFraction() const
{
    if (!m_isWorking) {
        return std::nullopt;
    }
    double fraction = -1;
    if (m_progressTotal >= 1) {
        fraction = static_cast<double>(m_progressDone) / static_cast<double>(m_progressTotal);
    }
    // A tool's own percentage is of its whole run, so it is the job's only when the job is one run.
    if (m_progressPercent >= 0 && m_progressIsOneRun) {
        fraction = std::max(fraction, m_progressPercent / 100.0);
    }
    if (fraction < 0) {
        return std::nullopt;
    }
    return std::min(fraction, 0.99);
}

void AppModel::cancel()
{
    if (m_session) {
        m_session->cancel();
    }
    for (const auto& session : m_dragSessions) {
        session->cancel();
    }
}

std::function<void(const ProgressStep&)> AppModel::progressHandler() const
{
    return [gate = m_progressGate](const ProgressStep& step) { gate->report(step); };
}

void AppModel::beginProgress(long long total, bool oneRun)
{
    // Ticks of an earlier job that had not reached the main thread yet do not belong to this one.
    m_flushTicks();
    m_progressIsOneRun = oneRun;
    setPercent(-1);
    setProgress(0, total);
}

void AppModel::addProgress(long long ticks, int percent)
{
    if (percent >= 0) {
        setPercent(percent);
    }
    if (ticks > 0) {
        setProgress(m_progressDone + ticks, m_progressTotal);
    }
}

void AppModel::flushProgress()
{
    if (const long long ticks = m_flushTicks(); ticks > 0) {
        addProgress(ticks, -1);
    }
    // The next run's percentage starts from nothing.
    setPercent(-1);
}

void AppModel::setPercent(int percent)
{
    assign(m_progressPercent, percent, &AppModel::progressPercentChanged);
}

void AppModel::setProgress(long long done, long long total)
{
    assign(m_progressTotal, total, &AppModel::progressTotalChanged);
    assign(m_progressDone, done, &AppModel::progressDoneChanged);
}

void AppModel::setBanner(Banner banner)
{
    assign(m_banner, std::move(banner), &AppModel::bannerChanged);
}

void AppModel::setAlert(const QString& text, bool offersRarInstall)
{
    assign(m_alertOffersRarInstall, offersRarInstall, &AppModel::alertOffersRarInstallChanged);
    assign(m_alertMessage, std::optional<QString>(text), &AppModel::alertMessageChanged);
}

void AppModel::setWorking(bool working)
{
    assign(m_isWorking, working, &AppModel::isWorkingChanged);
}

void AppModel::scheduleBannerReset()
{
    const std::string token = makeUuid();
    m_bannerToken = token;
    m_platform.clock->after(kBannerResetDelay, this, [this, token] {
        if (m_bannerToken == token && m_banner.kind == Banner::Kind::success) {
            setBanner(Banner::idle());
        }
    });
}

} // namespace tarvo::app
