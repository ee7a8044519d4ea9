// SPDX-License-Identifier: GPL-3.0-or-later

#include "LogindInhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace tarvo::platform {

LogindInhibitor::LogindInhibitor(QObject* parent)
    : QObject(parent)
{}

LogindInhibitor::LogindInhibitor(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{}

void LogindInhibitor::begin()
{
    // One lock covers any number of begin() calls.
    if (m_wanted) {
        return;
    }
    m_wanted = true;
    if (!m_bus) {
        m_bus = QDBusConnection::systemBus();
    }
    if (!m_bus->isConnected()) {
        return;
    }

    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    message << QStringLiteral("idle") << QStringLiteral("Tarvo") << QStringLiteral("Tarvo archive")
            << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        // The watcher holds the reply and with it a copy of the descriptor: a lock that is not kept (it
        // came after end()) closes when the watcher goes. A newer lock replaces and so closes an older one.
        call->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
        if (reply.isError() || !m_wanted) {
            return;
        }
        m_lock = reply.value();
    });
}

void LogindInhibitor::end()
{
    m_wanted = false;
    m_lock = QDBusUnixFileDescriptor();
}

} // namespace tarvo::platform
