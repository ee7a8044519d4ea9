// SPDX-License-Identifier: GPL-3.0-or-later

#include "FileManagerReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <fcntl.h>
#include <unistd.h>

namespace tarvo::platform {

FileManagerReveal::FileManagerReveal(OpenFolder openFolder)
    : m_openFolder(std::move(openFolder))
{
    if (!m_openFolder) {
        m_openFolder = [](const QUrl& folder) { QDesktopServices::openUrl(folder); };
    }
}

void FileManagerReveal::reveal(const QStringList& paths)
{
    if (paths.isEmpty()) {
        return;
    }
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(paths.first()).absolutePath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_openFolder(folder);
        return;
    }

    QStringList uris;
    uris.reserve(paths.size());
    for (const QString& path : paths) {
        // Encoded, so that file managers that parse the text as a URI get spaces and '#' right.
        uris.append(QString::fromLatin1(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded()));
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    message << uris << QString();

    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder = m_openFolder, folder](QDBusPendingCallWatcher* call) {
                         call->deleteLater();
                         if (!call->isError()) {
                             return;
                         }
                         // A file manager that is only slow may still show the items; opening the folder
                         // as well would give two windows.
                         const QDBusError::ErrorType type = call->error().type();
                         if (type == QDBusError::NoReply || type == QDBusError::Timeout ||
                             type == QDBusError::TimedOut) {
                             return;
                         }
                         openFolder(folder);
                     });
}

void FileManagerReveal::open(const QString& path)
{
    const QUrl url = QUrl::fromLocalFile(path);
    const auto byXdgOpen = [openFolder = m_openFolder, url] {
        const QString xdgOpen = QStringLiteral("/usr/bin/xdg-open");
        if (!QFileInfo(xdgOpen).isExecutable() ||
            !QProcess::startDetached(xdgOpen, {QString::fromLatin1(url.toEncoded())})) {
            openFolder(url);
        }
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (!bus.isConnected() || descriptor < 0) {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        byXdgOpen();
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.OpenURI"), QStringLiteral("OpenFile"));
    message << QString() << QVariant::fromValue(QDBusUnixFileDescriptor(descriptor))
            << QVariantMap{{QStringLiteral("writable"), false}, {QStringLiteral("ask"), false}};
    ::close(descriptor); // the message holds its own copy
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [byXdgOpen](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (call->isError()) {
            byXdgOpen();
        }
    });
}

} // namespace tarvo::platform
