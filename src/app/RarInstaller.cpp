// SPDX-License-Identifier: GPL-3.0-or-later

#include "RarInstaller.h"

#include "engine/archive/JobTools.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/util/AppPaths.h"
#include "engine/util/FileSystem.h"
#include "engine/util/Uuid.h"
#include "engine/vocabulary/ArchiveError.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>
#include <QtConcurrent>
#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcoronetworkreply.h>
#include <stdexcept>
#include <sys/utsname.h>
#include <vector>

namespace tarvo::app {

namespace fs = std::filesystem;
using engine::ArchiveError;
using engine::L10n;

namespace {

// A stalled connection gives up after this long without data; a trickling one after the whole
// limit. The package is under a megabyte.
constexpr int kStallMilliseconds = 30'000;
constexpr std::chrono::minutes kDownloadLimit{10};

ArchiveError downloadFailed()
{
    return ArchiveError::toolFailed("rar", 1, L10n::text(engine::Text::couldNotDownloadRar));
}

bool isInside(const fs::path& root, const fs::path& path)
{
    const auto [rootEnd, pathEnd] = std::mismatch(root.begin(), root.end(), path.begin(), path.end());
    return rootEnd == root.end();
}

// The part that touches the disk and runs tar, on a worker thread. Exceptions are handed back
// rather than thrown: QtConcurrent would wrap them.
std::exception_ptr unpackAndInstall(const fs::path& archive) noexcept
{
    try {
        const engine::TarTool tar = engine::requireSystemTar();
        const fs::path work = fs::temp_directory_path() / ("TarvoRAR-" + engine::makeUuid());
        fs::create_directories(work);
        struct Cleanup
        {
            fs::path folder;
            ~Cleanup() { engine::removeTree(folder); }
        } cleanup{work};

        engine::ToolRun unpack;
        unpack.executable = tar.path;
        unpack.arguments = {"-xzf", archive.string(), "-C", work.string()};
        unpack.successCodes = {0};
        engine::ProcessRunner::run(unpack);

        const fs::path tools = engine::AppPaths::toolDirectory();
        fs::create_directories(tools);
        RarInstaller::installBinary("rar", work, tools);
        if (RarInstaller::findBinary("unrar", work)) {
            RarInstaller::installBinary("unrar", work, tools);
        }
        return {};
    } catch (...) {
        return std::current_exception();
    }
}

} // namespace

std::optional<QString> RarInstaller::packageName(std::string_view machine)
{
    if (machine == "x86_64") {
        return QStringLiteral("rarlinux-x64-723.tar.gz");
    }
    return std::nullopt;
}

QUrl RarInstaller::downloadUrl(const QString& package)
{
    QString base = qEnvironmentVariable("TARVO_RARLAB_URL");
    if (base.isEmpty()) {
        base = QStringLiteral("https://www.rarlab.com");
    }
    while (base.endsWith(QLatin1Char('/'))) {
        base.chop(1);
    }
    return QUrl(base + QStringLiteral("/rar/") + package, QUrl::StrictMode);
}

std::optional<fs::path> RarInstaller::findBinary(const std::string& name, const fs::path& folder)
{
    std::error_code error;
    const fs::path root = fs::canonical(folder, error);
    if (error) {
        return std::nullopt;
    }
    // Items still to visit, the next one last. An own stack rather than recursion: a package may
    // nest folders very deeply.
    std::vector<fs::path> pending{};
    const auto pushContents = [&](const fs::path& parent) {
        std::vector<fs::path> contents;
        std::error_code readError;
        for (fs::directory_iterator it(parent, readError), end; !readError && it != end; it.increment(readError)) {
            contents.push_back(it->path());
        }
        // Sorted, so that the same package always gives the same program.
        std::sort(contents.begin(), contents.end());
        pending.insert(pending.end(), contents.rbegin(), contents.rend());
    };
    pushContents(root);
    while (!pending.empty()) {
        const fs::path item = std::move(pending.back());
        pending.pop_back();
        const fs::file_status status = fs::symlink_status(item, error);
        if (error) {
            continue;
        }
        // Links are never walked into: a link to "." or ".." would loop.
        if (fs::is_directory(status)) {
            pushContents(item);
            continue;
        }
        if (item.filename() != name) {
            continue;
        }
        if (fs::is_regular_file(status)) {
            return item;
        }
        if (fs::is_symlink(status)) {
            // A copied link would dangle once the work folder is gone, and one leading out of the
            // package would install some other program under the name.
            const fs::path target = fs::canonical(item, error);
            if (!error && isInside(root, target) && fs::is_regular_file(fs::symlink_status(target, error))) {
                return target;
            }
        }
    }
    return std::nullopt;
}

void RarInstaller::installBinary(const std::string& name, const fs::path& folder, const fs::path& destination)
{
    const auto source = findBinary(name, folder);
    if (!source) {
        throw ArchiveError::toolFailed(name, 1, L10n::rarBundleMissing(name));
    }
    // Written beside the target under a hidden name and renamed over it at the end, so that the
    // locator never meets a half-copied program, and a failed copy leaves the old one in place.
    const fs::path target = destination / name;
    const fs::path partial = destination / ("." + name + "-" + engine::makeUuid() + ".part");
    try {
        fs::copy_file(*source, partial);
        fs::permissions(partial, static_cast<fs::perms>(0755), fs::perm_options::replace);
        if (fs::is_directory(fs::symlink_status(target))) {
            fs::remove_all(target);
        }
        fs::rename(partial, target);
    } catch (...) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw;
    }
}

QCoro::Task<> RarInstaller::installOfficialTools()
{
    utsname system{};
    if (::uname(&system) != 0) {
        throw downloadFailed();
    }
    const auto package = packageName(system.machine);
    if (!package) {
        throw downloadFailed();
    }
    const QUrl url = downloadUrl(*package);
    if (!url.isValid() || url.scheme().isEmpty()) {
        throw downloadFailed();
    }

    QTemporaryFile download(QFile::decodeName((fs::temp_directory_path() / "TarvoRAR-XXXXXX.tar.gz").c_str()));
    if (!download.open()) {
        throw std::runtime_error(download.errorString().toStdString());
    }

    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(kStallMilliseconds);
    bool writeFailed = false;
    // Declared after the manager so that it goes first; its connection dies with it.
    const std::unique_ptr<QNetworkReply> reply(network.get(request));
    QNetworkReply* replyPointer = reply.get();
    QFile* file = &download;
    // Written to disk as it arrives instead of held in memory.
    QObject::connect(replyPointer, &QNetworkReply::readyRead, replyPointer, [replyPointer, file, &writeFailed] {
        const QByteArray chunk = replyPointer->readAll();
        if (!writeFailed && file->write(chunk) != chunk.size()) {
            writeFailed = true;
            QMetaObject::invokeMethod(replyPointer, &QNetworkReply::abort, Qt::QueuedConnection);
        }
    });
    auto watched = qCoro(replyPointer);
    auto finishing = watched.waitForFinished(kDownloadLimit);
    const bool finished = co_await finishing;
    if (!finished) {
        reply->abort();
        throw downloadFailed();
    }

    // A server's answer decides before the transfer's state: Qt reports a 404 as an error too.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() != 200) {
        throw ArchiveError::toolFailed("rar", status.toInt(), L10n::text(engine::Text::rarlabError));
    }
    if (writeFailed) {
        throw std::runtime_error(download.errorString().toStdString());
    }
    if (reply->error() != QNetworkReply::NoError) {
        throw std::runtime_error(reply->errorString().toStdString());
    }
    const QByteArray rest = reply->readAll();
    if (download.write(rest) != rest.size() || !download.flush()) {
        throw std::runtime_error(download.errorString().toStdString());
    }
    const fs::path archive(QFile::encodeName(download.fileName()).toStdString());

    auto installing = QtConcurrent::run(&unpackAndInstall, archive);
    const std::exception_ptr failure = co_await installing;
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace tarvo::app
