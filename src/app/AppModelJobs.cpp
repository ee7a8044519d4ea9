// The compress and extract jobs, and how a job's outcome is shown, recorded and announced.
#include "AppModel.h"
#include "ModelWorkers.h"
#include "archive/ArchiveEngine.h"
#include "history/HistoryStore.h"
#include "l10n/L10n.h"
#include "tools/FileWalk.h"
#include "vocabulary/ArchiveError.h"
#include "vocabulary/ArchiveKind.h"
#include "vocabulary/ArchiveNames.h"
#include "vocabulary/ErrorText.h"

#include <QPointer>

namespace tarvo::app {

using namespace engine;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kHistoryLimit = 40;

QString qtext(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string fileName(const fs::path& path)
{
    return path.filename().string();
}

ArchiveFormat formatOf(const fs::path& archive, ArchiveFormat fallback)
{
    const auto kind = ArchiveKind::from(archive);
    return kind ? kind->format() : fallback;
}

// An extraction's record, which names the archive's own kind where the format would not.
ArchiveRecord extractionRecord(const fs::path& archive, ArchiveFormat fallback, std::string title,
                               std::string outputPath, bool succeeded)
{
    ArchiveRecord record = ArchiveRecord::make(JobKind::extract, formatOf(archive, fallback), std::move(title),
                                               std::move(outputPath), succeeded);
    if (const auto kind = ArchiveKind::from(archive)) {
        record.kindTitle = kind->titleBeyondFormat();
    }
    return record;
}

// A tool's own words say which archive failed only when they name it; otherwise its name leads.
std::string failureText(const fs::path& archive, const std::exception& error)
{
    std::string text = describeError(error);
    const auto* archiveError = dynamic_cast<const ArchiveError*>(&error);
    const bool toolsWords = archiveError != nullptr && archiveError->errorCase() == ArchiveError::Case::toolFailed;
    if (toolsWords && text.find(fileName(archive)) == std::string::npos) {
        text = fileName(archive) + ": " + text;
    }
    return text;
}

} // namespace

QCoro::Task<std::optional<fs::path>> AppModel::destinationDirectory(std::vector<fs::path> urls, bool interactive)
{
    const fs::path folder = urls.front().parent_path();
    if (!interactive || !m_askForDestination) {
        co_return folder;
    }
    QPointer<AppModel> self(this);
    platform::OpenRequest request;
    request.message = qtext(L10n::text(Text::whereToSaveResult));
    request.acceptLabel = qtext(L10n::text(Text::choose));
    request.files = false;
    request.folders = true;
    request.multiple = false;
    request.startDirectory = QString::fromStdString(folder.string());
    auto dialogs = m_platform.dialogs;
    auto answer = dialogs->open(std::move(request));
    const std::optional<QStringList> chosen = co_await answer;
    if (!self || !chosen || chosen->isEmpty() || chosen->front().isEmpty()) {
        co_return std::nullopt;
    }
    co_return fs::path(chosen->front().toStdString());
}

QCoro::Task<> AppModel::compress(Work work, ArchiveFormat format)
{
    QPointer<AppModel> self(this);
    auto destination = destinationDirectory(work.urls, work.interactive);
    const std::optional<fs::path> directory = co_await destination;
    if (!self || !directory) {
        co_return;
    }

    // The settings as they are now; edits in the window from here on are for the next job.
    const JobSession current(*this);
    const std::shared_ptr<ArchiveSession>& session = current.session();
    CompressRequest request;
    request.items = work.urls;
    request.format = format;
    request.name = m_archiveName.toStdString();
    request.password = m_archivePassword.toStdString();
    request.level = m_level;
    request.skipJunk = m_skipJunk;
    request.directory = *directory;
    request.tools = m_tools;
    request.control = RunControl{session, progressHandler()};

    setBanner(Banner::working(qtext(L10n::compressing(ArchiveNames::archiveBase(request.name, work.urls)))));

    // The walk can take a while on a large tree: it runs beside the interface, which meanwhile
    // shows no stale progress and can cancel.
    beginProgress(0);
    auto counting = runOn(&m_workers, [urls = work.urls] { return FileWalk::count(urls); });
    const long long total = co_await counting;
    if (!self) {
        co_return;
    }
    if (session->isCancelled()) {
        throw ArchiveError(ArchiveError::Case::cancelled);
    }
    beginProgress(total);

    const std::optional<std::string> password = ArchiveEngine::normalized(request.password);
    const RarSupport tools = request.tools;
    auto job = runJob([request = std::move(request)] { return ArchiveEngine::compress(request); });
    const fs::path output = co_await job;
    if (!self) {
        co_return;
    }
    if (m_verifyAfterCreating) {
        // The archive stays whatever the test finds: it is what the tool made, and the user decides.
        auto testing = runOn(&m_workers, [output, tools, password, session] {
            return ArchiveEngine::test(output, tools, password, {session, {}});
        });
        const TestReport report = co_await testing;
        if (!self) {
            co_return;
        }
        if (!report.sound) {
            const QString text = qtext(verifyFailure(report));
            setBanner(Banner::failure(text));
            if (work.interactive) {
                setAlert(text, false);
            }
            announce(text);
            record(ArchiveRecord::make(JobKind::compress, format, fileName(output), output.string(), false));
            co_return;
        }
    }
    record(ArchiveRecord::make(JobKind::compress, format, fileName(output), output.string(), true));
    succeed(qtext(L10n::made(fileName(output))), work.interactive, {output});
}

QCoro::Task<> AppModel::extract(Work work, WorkAction::Passwords passwords, WorkAction::Encodings encodings)
{
    QPointer<AppModel> self(this);
    const std::vector<fs::path> archives = archivesIn(work);

    beginProgress(work.plannedFiles, archives.size() == 1);
    const JobSession current(*this);
    const std::shared_ptr<ArchiveSession>& session = current.session();
    std::vector<fs::path> results;
    std::vector<std::string> failures;
    // Counted on the workers' thread, read here once each job is done.
    const auto leftOut = std::make_shared<std::atomic<int>>(0);

    for (const fs::path& archive : archives) {
        if (session->isCancelled()) {
            throw ArchiveError(ArchiveError::Case::cancelled);
        }
        setBanner(Banner::working(qtext(L10n::extracting(fileName(archive)))));
        const auto found = passwords.find(archive.string());
        std::optional<std::string> password;
        if (found != passwords.end()) {
            password = found->second;
        }
        const auto chosen = encodings.find(archive.string());
        const std::string encoding = chosen == encodings.end() ? std::string() : chosen->second;
        const ArchiveFormat format = formatOf(archive, m_format);
        std::exception_ptr failure;
        fs::path result;
        try {
            auto job = runOn(&m_workers, [archive, tools = m_tools, password, encoding,
                                          control = RunControl{session, progressHandler(),
                                                               [leftOut](int count) { leftOut->fetch_add(count); }}] {
                return ArchiveEngine::extract(archive, tools, password, control, encoding);
            });
            result = co_await job;
        } catch (...) {
            failure = std::current_exception();
        }
        if (!self) {
            co_return;
        }
        flushProgress();
        if (!failure) {
            results.push_back(result);
            record(extractionRecord(archive, format, fileName(result), result.string(), true));
            continue;
        }
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            if (isCancellation(error)) {
                throw;
            }
            failures.push_back(failureText(archive, error));
        } catch (...) {
            failures.push_back(L10n::text(Text::somethingWentWrong));
        }
        record(extractionRecord(archive, format, fileName(archive), archive.string(), false));
    }

    if (results.empty() && !failures.empty()) {
        throw ArchiveError::everyArchiveFailed(failures.front());
    }
    if (work.interactive) {
        if (m_revealInFinder && !results.empty()) {
            revealPaths(results);
        }
        if (!failures.empty()) {
            setAlert(qtext(failures.front()), false);
        } else if (const int count = leftOut->load(); count > 0) {
            setAlert(qtext(L10n::text(Text::specialFilesLeftOut)).arg(count), false);
        }
    }
    succeed(qtext(L10n::made(results.empty() ? L10n::text(Text::done) : fileName(results.front()))), false, {});
}

void AppModel::report(std::exception_ptr error, const Work& work, JobKind kind, ArchiveFormat format)
{
    QString text;
    bool offersInstall = false;
    try {
        std::rethrow_exception(error);
    } catch (const ArchiveError& archiveError) {
        text = qtext(archiveError.errorDescription());
        const auto errorCase = archiveError.errorCase();
        offersInstall = errorCase == ArchiveError::Case::rarUnavailable ||
                        errorCase == ArchiveError::Case::sevenZipUnavailable ||
                        errorCase == ArchiveError::Case::extractorUnavailable;
    } catch (const std::exception& other) {
        text = qtext(describeError(other));
    } catch (...) {
        text = qtext(L10n::text(Text::somethingWentWrong));
    }

    setBanner(Banner::failure(text));
    if (work.interactive) {
        setAlert(text, offersInstall);
    }
    announce(text);
    const std::string title = work.urls.empty() ? L10n::text(Text::failed) : fileName(work.urls.front());
    const std::string path = work.urls.empty() ? std::string() : work.urls.front().string();
    ArchiveRecord failed = ArchiveRecord::make(kind, format, title, path, false);
    if (const auto archiveKind = ArchiveKind::from(path); archiveKind && kind == JobKind::extract) {
        failed.kindTitle = archiveKind->titleBeyondFormat();
    }
    record(std::move(failed));
}

AppModel::JobSession::JobSession(AppModel& model)
    : m_model(&model)
    , m_session(std::make_shared<ArchiveSession>())
{
    model.m_session = m_session;
}

AppModel::JobSession::~JobSession()
{
    if (m_model && m_model->m_session == m_session) {
        m_model->m_session.reset();
    }
}

QCoro::Task<fs::path> AppModel::runJob(std::function<fs::path()> call)
{
    QPointer<AppModel> self(this);
    std::exception_ptr failure;
    fs::path result;
    try {
        auto job = runOn(&m_workers, std::move(call));
        result = co_await job;
    } catch (...) {
        failure = std::current_exception();
    }
    if (self) {
        flushProgress();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    co_return result;
}

void AppModel::succeed(const QString& text, bool interactive, const std::vector<fs::path>& results)
{
    setBanner(Banner::success(text));
    scheduleBannerReset();
    announce(text);
    if (interactive && m_revealInFinder && !results.empty()) {
        revealPaths(results);
    }
}

void AppModel::record(ArchiveRecord record)
{
    std::vector<ArchiveRecord> records = m_records;
    records.insert(records.begin(), std::move(record));
    if (records.size() > kHistoryLimit) {
        records.resize(kHistoryLimit);
    }
    assign(m_records, std::move(records), &AppModel::recordsChanged);
    saveHistory();
}

void AppModel::announce(const QString& text)
{
    if (!m_platform.desktop->isActive()) {
        m_platform.notifier->deliver(text);
    }
}

void AppModel::revealPaths(const std::vector<fs::path>& paths)
{
    QStringList list;
    for (const fs::path& path : paths) {
        list << QString::fromStdString(path.string());
    }
    m_platform.reveal->reveal(list);
}

} // namespace tarvo::app
