// SPDX-License-Identifier: GPL-3.0-or-later

// The compress, extract and test jobs, and how a job's outcome is shown, recorded and announced.
#include "AppModel.h"
#include "ModelWorkers.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/history/HistoryStore.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/FileWalk.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/ArchiveNames.h"
#include "engine/vocabulary/ErrorText.h"

#include <QPointer>

namespace tarvo::app {

using namespace engine;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kHistoryLimit = 40;

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

// Whether the failure is a missing tool that Settings can install.
bool offersToolInstall(const ArchiveError& error)
{
    const auto errorCase = error.errorCase();
    return errorCase == ArchiveError::Case::rarUnavailable || errorCase == ArchiveError::Case::sevenZipUnavailable ||
           errorCase == ArchiveError::Case::extractorUnavailable;
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

QCoro::Task<std::optional<fs::path>> AppModel::destinationDirectory(std::vector<fs::path> paths, bool interactive)
{
    const fs::path folder = paths.front().parent_path();
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
    auto destination = destinationDirectory(work.paths, work.interactive);
    const std::optional<fs::path> directory = co_await destination;
    if (!self || !directory) {
        co_return;
    }

    // The settings as they are now; edits in the window from here on are for the next job. The name
    // and password are the request's own, taken when it was queued.
    const JobSession current(*this);
    const std::shared_ptr<ArchiveSession>& session = current.session();
    CompressRequest request;
    request.items = work.paths;
    request.format = format;
    request.name = work.archiveName;
    request.password = work.archivePassword;
    request.level = m_level;
    request.skipJunk = m_skipJunk;
    request.zipEncryption = m_zipEncryption;
    // tar.gz is one stream that no tool cuts: the setting names the formats it is for.
    request.volumeSize = format == ArchiveFormat::tarGz ? 0 : m_volumeSize;
    request.directory = *directory;
    request.tools = m_tools;
    request.control = RunControl{session, progressHandler()};

    setBanner(Banner::working(qtext(L10n::compressing(ArchiveNames::archiveBase(request.name, work.paths)))));

    // The walk can take a while on a large tree: it runs beside the interface, which meanwhile
    // shows no stale progress and can cancel.
    beginProgress(0);
    auto counting = runOn(&m_workers, [paths = work.paths] { return FileWalk::count(paths); });
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
            showFailure(qtext(verifyFailure(report)), work.interactive);
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
            setAlert({.text = qtext(failures.front())});
        } else if (const int count = leftOut->load(); count > 0) {
            setAlert({.text = qtext(L10n::text(Text::specialFilesLeftOut)).arg(count)});
        }
    }
    succeed(qtext(L10n::made(results.empty() ? L10n::text(Text::done) : fileName(results.front()))), false, {});
}

QCoro::Task<> AppModel::test(Work work)
{
    QPointer<AppModel> self(this);
    const std::vector<fs::path> archives = archivesIn(work);

    // The tools say nothing of their advance here: the archives done are the progress, and a single
    // archive's is unknown.
    beginProgress(archives.size() > 1 ? static_cast<long long>(archives.size()) : 0, false);
    const JobSession current(*this);
    const std::shared_ptr<ArchiveSession>& session = current.session();
    std::vector<std::string> failures;
    std::vector<fs::path> locked;
    bool offersInstall = false;

    for (const fs::path& archive : archives) {
        if (session->isCancelled()) {
            throw ArchiveError(ArchiveError::Case::cancelled);
        }
        setBanner(Banner::working(qtext(L10n::testing(fileName(archive)))));
        std::exception_ptr failure;
        TestReport report;
        try {
            auto job = runOn(&m_workers, [archive, tools = m_tools, session] {
                return ArchiveEngine::test(archive, tools, std::nullopt, {session, {}});
            });
            report = co_await job;
        } catch (...) {
            failure = std::current_exception();
        }
        if (!self) {
            co_return;
        }
        addProgress(1, -1);
        if (!failure) {
            if (!report.sound) {
                failures.push_back(fileName(archive) + ": " + testVerdict(report));
            }
            continue;
        }
        try {
            std::rethrow_exception(failure);
        } catch (const ArchiveError& error) {
            if (error.errorCase() == ArchiveError::Case::cancelled) {
                throw;
            }
            // Tested without a password, which the preview asks for.
            if (error.errorCase() == ArchiveError::Case::wrongPassword) {
                locked.push_back(archive);
                continue;
            }
            offersInstall = offersInstall || offersToolInstall(error);
            failures.push_back(fileName(archive) + ": " + error.errorDescription());
        } catch (const std::exception& error) {
            failures.push_back(fileName(archive) + ": " + describeError(error));
        } catch (...) {
            failures.push_back(fileName(archive) + ": " + L10n::text(Text::somethingWentWrong));
        }
    }

    if (!locked.empty()) {
        auto preview = presentPreview({.archives = locked, .askForPasswords = true});
        co_await preview;
        if (!self) {
            co_return;
        }
    }
    if (!failures.empty()) {
        std::string text;
        for (const std::string& failure : failures) {
            text += (text.empty() ? "" : "\n") + failure;
        }
        showFailure(qtext(text), work.interactive, offersInstall);
    } else if (const std::size_t sound = archives.size() - locked.size(); sound > 0) {
        succeed(qtext(L10n::text(sound == 1 ? Text::testFoundNoErrors : Text::testFoundNoErrorsInAny)), false, {});
    }
}

QCoro::Task<> AppModel::edit(Work work)
{
    QPointer<AppModel> self(this);
    if (work.paths.empty() || !work.edit) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    const fs::path archive = work.paths.front();
    const ArchiveEdit change = *work.edit;
    setBanner(Banner::working(qtext(L10n::text(Text::changingArchive))));
    beginProgress(0);
    const JobSession current(*this);
    m_editedArchive = archive;

    EditRequest request;
    request.archive = archive;
    request.tools = m_tools;
    request.password = ArchiveEngine::normalized(change.password);
    request.control = RunControl{current.session(), progressHandler()};
    request.items = change.items;
    request.into = change.into;
    request.skipJunk = m_skipJunk;
    request.onClash = change.onClash;
    request.entries = change.entries;
    request.newName = change.newName;
    std::exception_ptr failure;
    try {
        auto job = runJob([request = std::move(request), kind = change.kind] {
            switch (kind) {
            case ArchiveEdit::Kind::add:
                ArchiveEngine::add(request);
                break;
            case ArchiveEdit::Kind::remove:
                ArchiveEngine::remove(request);
                break;
            case ArchiveEdit::Kind::rename:
                ArchiveEngine::rename(request);
                break;
            }
            return request.archive;
        });
        co_await job;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    m_editedArchive.reset();
    // Failed or not, the preview takes its actions back; changed, it lists the archive again.
    m_preview.editEnded(archive, !failure);
    if (failure) {
        std::rethrow_exception(failure);
    }
    ArchiveRecord changed =
        ArchiveRecord::make(JobKind::edit, formatOf(archive, m_format), fileName(archive), archive.string(), true);
    if (const auto kind = ArchiveKind::from(archive)) {
        changed.kindTitle = kind->titleBeyondFormat();
    }
    record(std::move(changed));
    succeed(qtext(L10n::made(fileName(archive))), false, {});
}

QCoro::Task<> AppModel::presentPreview(PreviewModel::Presentation presentation)
{
    QPointer<AppModel> self(this);
    setBanner(Banner::working(qtext(L10n::text(Text::readingArchive))));
    const JobSession current(*this);
    presentation.session = current.session();
    auto listing = m_preview.present(std::move(presentation));
    co_await listing;
    if (self) {
        setBanner(Banner::idle());
    }
}

QCoro::Task<> AppModel::extractFile(Work work, std::vector<std::string> paths, std::string password,
                                    std::string encoding)
{
    QPointer<AppModel> self(this);
    if (work.paths.empty() || paths.empty()) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    const fs::path archive = work.paths.front();
    const std::string path = paths.front();
    // Several go into one folder named as the archive's: the banner names the archive.
    const bool several = paths.size() > 1;
    setBanner(Banner::working(qtext(L10n::extracting((several ? archive : fs::path(path)).filename().string()))));
    beginProgress(1);
    const JobSession current(*this);
    const std::shared_ptr<ArchiveSession>& session = current.session();

    // What the preview listed tells the engine whether the entry is a folder, sparing a second listing.
    std::optional<bool> isDirectory;
    if (const auto& preview = m_preview.extractPreview()) {
        for (const ArchivePreviewItem& item : preview->items) {
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

    auto job = runJob([archive, paths, tools = m_tools, password, encoding,
                       control = RunControl{session, progressHandler()}, isDirectory] {
        EntryRequest request{.archive = archive,
                             .entry = paths.front(),
                             .tools = tools,
                             .password = password,
                             .control = control,
                             .isDirectory = isDirectory,
                             .encoding = encoding,
                             .entries = paths};
        return paths.size() > 1 ? ArchiveEngine::extractEntries(request) : ArchiveEngine::extractEntry(request);
    });
    const fs::path result = co_await job;
    if (!self) {
        co_return;
    }
    record(extractionRecord(archive, m_format, fileName(result), result.string(), true));
    succeed(qtext(L10n::made(fileName(result))), work.interactive, {result});
}

void AppModel::report(std::exception_ptr error, const Work& work, std::optional<JobKind> kind, ArchiveFormat format)
{
    QString text;
    bool offersInstall = false;
    try {
        std::rethrow_exception(error);
    } catch (const ArchiveError& archiveError) {
        text = qtext(archiveError.errorDescription());
        offersInstall = offersToolInstall(archiveError);
    } catch (const std::exception& other) {
        text = qtext(describeError(other));
    } catch (...) {
        text = qtext(L10n::text(Text::somethingWentWrong));
    }

    showFailure(text, work.interactive, offersInstall);
    if (!kind) {
        return;
    }
    const std::string title = work.paths.empty() ? L10n::text(Text::failed) : fileName(work.paths.front());
    const std::string path = work.paths.empty() ? std::string() : work.paths.front().string();
    ArchiveRecord failed = ArchiveRecord::make(*kind, format, title, path, false);
    if (const auto archiveKind = ArchiveKind::from(path); archiveKind && *kind != JobKind::compress) {
        failed.kindTitle = archiveKind->titleBeyondFormat();
    }
    record(std::move(failed));
}

void AppModel::showFailure(const QString& text, bool interactive, bool offersInstall)
{
    setBanner(Banner::failure(text));
    if (interactive) {
        setAlert({.text = text, .offersRarInstall = offersInstall});
    }
    announce(text);
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
    assignObserved(*this, m_records, std::move(records), &AppModel::recordsChanged);
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
