// SPDX-License-Identifier: GPL-3.0-or-later

#include "AppModel.h"

#include "engine/l10n/L10n.h"
#include "engine/tools/ProgressStep.h"
#include "engine/tools/ToolLocator.h"
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

AppModel::AppModel(PreviewModel& preview, Options options, QObject* parent)
    : QObject(parent)
    , m_language(AppLanguage::matchingSystem())
    , m_bannerToken(makeUuid())
    , m_progressGate(std::make_shared<ProgressGate>())
    , m_preview(preview)
    , m_platform(std::move(options.platform))
{
    m_settings = options.settingsFile.isEmpty()
                     ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                   QStringLiteral("Tarvo"), QStringLiteral("Tarvo"))
                     : std::make_unique<QSettings>(options.settingsFile, QSettings::IniFormat);
    // A tool run holds a worker for its whole length.
    m_workers.setMaxThreadCount(4);

    loadSettings();
    loadHistory();
    m_tools = ToolLocator::rarSupport();
    readLoginStatus();

    // What the preview needs of the queue's state.
    m_preview.setTools(m_tools);
    m_preview.setReveal(m_platform.reveal);
    m_preview.setDialogs(m_platform.dialogs);
    m_preview.setCancelEditJob([this](const std::filesystem::path& archive) {
        if (m_editedArchive == archive && m_session) {
            m_session->cancel();
        }
    });
    connect(this, &AppModel::toolsChanged, &m_preview, [this] { m_preview.setTools(m_tools); });
    connect(this, &AppModel::isWorkingChanged, &m_preview, [this] { m_preview.setQueueWorking(m_isWorking); });
    connect(this, &AppModel::languageChanged, &m_preview, &PreviewModel::languageChanged);

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
    if (m_session) {
        m_session->cancel();
    }
    m_workers.waitForDone();
}

void AppModel::setFormat(ArchiveFormat format)
{
    assignObserved(*this, m_format, format, &AppModel::formatChanged);
    persist();
}

void AppModel::setRevealInFinder(bool reveal)
{
    assignObserved(*this, m_revealInFinder, reveal, &AppModel::revealInFinderChanged);
    persist();
}

void AppModel::setAskForDestination(bool ask)
{
    assignObserved(*this, m_askForDestination, ask, &AppModel::askForDestinationChanged);
    persist();
}

void AppModel::setSkipJunk(bool skip)
{
    assignObserved(*this, m_skipJunk, skip, &AppModel::skipJunkChanged);
    persist();
}

void AppModel::setZipEncryption(engine::ZipEncryption encryption)
{
    assignObserved(*this, m_zipEncryption, encryption, &AppModel::zipEncryptionChanged);
    persist();
}

void AppModel::setVolumeSize(std::uint64_t bytes)
{
    assignObserved(*this, m_volumeSize, bytes, &AppModel::volumeSizeChanged);
    persist();
}

void AppModel::setPreviewSize(QSize size)
{
    if (size != m_previewSize) {
        m_previewSize = size;
        persist();
    }
}

void AppModel::setVerifyAfterCreating(bool verify)
{
    assignObserved(*this, m_verifyAfterCreating, verify, &AppModel::verifyAfterCreatingChanged);
    persist();
}

void AppModel::setLevel(CompressionLevel level)
{
    assignObserved(*this, m_level, level, &AppModel::levelChanged);
    persist();
}

void AppModel::setLanguage(AppLanguage language)
{
    if (m_language == language) {
        return;
    }
    // The interface language changes first, so that whatever reacts to the signal reads new texts.
    L10n::setLanguage(language);
    assignObserved(*this, m_language, language, &AppModel::languageChanged);
    persist();
    readLoginStatus();
}

void AppModel::setArchivePassword(const QString& password)
{
    assignObserved(*this, m_archivePassword, password, &AppModel::archivePasswordChanged);
}

void AppModel::setArchiveName(const QString& name)
{
    assignObserved(*this, m_archiveName, name, &AppModel::archiveNameChanged);
}

void AppModel::dismissAlert()
{
    assignObserved(*this, m_alert, std::optional<Alert>(), &AppModel::alertChanged);
}

std::optional<double> AppModel::progressFraction() const
{
    if (!m_isWorking) {
        return std::nullopt;
    }
    double fraction = -1;
    if (m_progress.total >= 1) {
        fraction = static_cast<double>(m_progress.done) / static_cast<double>(m_progress.total);
    }
    // A tool's own percentage is of its whole run, so it is the job's only when the job is one run.
    if (m_progress.percent >= 0 && m_progressIsOneRun) {
        fraction = std::max(fraction, m_progress.percent / 100.0);
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
    m_preview.stopUnpacking();
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
        setProgress(m_progress.done + ticks, m_progress.total);
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
    assignObserved(*this, m_progress, Progress{m_progress.done, m_progress.total, percent}, &AppModel::progressChanged);
}

void AppModel::setProgress(long long done, long long total)
{
    assignObserved(*this, m_progress, Progress{done, total, m_progress.percent}, &AppModel::progressChanged);
}

void AppModel::setBanner(Banner banner)
{
    assignObserved(*this, m_banner, std::move(banner), &AppModel::bannerChanged);
}

void AppModel::setAlert(Alert alert)
{
    assignObserved(*this, m_alert, std::optional<Alert>(std::move(alert)), &AppModel::alertChanged);
}

void AppModel::setWorking(bool working)
{
    assignObserved(*this, m_isWorking, working, &AppModel::isWorkingChanged);
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
