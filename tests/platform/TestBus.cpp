// SPDX-License-Identifier: GPL-3.0-or-later

#include "TestBus.h"

#include "TaskRunner.h"
#include "TestSupport.h"

#include <QDBusConnectionInterface>
#include <cstdlib>

namespace tarvo::test {

namespace {

// Keeps the tests off the user's files and buses. libdbus reads the bus addresses once, at the first
// connection of the process, so they are set before main.
const struct Isolation
{
    TempDir home;
    Isolation()
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
            std::filesystem::create_directory(home / name);
            std::filesystem::permissions(home / name, std::filesystem::perms::owner_all);
            setenv(name, (home / name).c_str(), 1);
        }
        // Outside dbus-run-session, fail to connect rather than let libdbus launch a bus.
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tarvo-test-bus", 0);
        // So that a fake logind can answer as if on the system bus.
        setenv("DBUS_SYSTEM_BUS_ADDRESS", getenv("DBUS_SESSION_BUS_ADDRESS"), 1);
    }
} g_isolation;

} // namespace

std::optional<QString> sessionBusUnusable(const QString& service)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && !bus.interface()->isServiceRegistered(service)) {
        return std::nullopt;
    }
    return QStringLiteral("no private session bus for %1: run the test through dbus-run-session").arg(service);
}

QDBusConnection ownConnection(const QString& name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
}

FakeService::FakeService(QDBusConnection connection, const QString& service, const QString& path, Answer answer)
    : m_connection(std::move(connection))
    , m_answer(std::move(answer))
{
    m_registered = m_connection.isConnected() && m_connection.registerVirtualObject(path, this) &&
                   m_connection.registerService(service);
}

bool FakeService::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    calls.push_back(message);
    connection.send(message.createReply(m_answer ? m_answer(message) : QVariantList()));
    return true;
}

bool settleUntil(const std::function<bool()>& condition, int milliseconds)
{
    return spinUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return condition();
        },
        milliseconds);
}

} // namespace tarvo::test
