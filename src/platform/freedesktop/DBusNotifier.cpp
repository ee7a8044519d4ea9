// SPDX-License-Identifier: GPL-3.0-or-later

#include "DBusNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QStringList>
#include <QVariantMap>

namespace tarvo::platform {

void DBusNotifier::deliver(const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QString product = QStringLiteral("Tarvo");
    message << product << 0u << QStringLiteral("com.tarvo.app") << product << body << QStringList() << QVariantMap()
            << -1;
    // The pending reply is dropped on purpose: a missing or failing server only loses the notification,
    // and the job's outcome is already shown in the window.
    bus.asyncCall(message);
}

} // namespace tarvo::platform
