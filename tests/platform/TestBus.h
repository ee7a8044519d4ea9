// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <functional>
#include <optional>
#include <vector>

namespace tarvo::test {

// Why the private session bus cannot host a fake `service`: there is none, or a real service holds the name.
// The system bus address points at the same private bus.
std::optional<QString> sessionBusUnusable(const QString& service);

// A connection of its own to the session bus, as another process has.
QDBusConnection ownConnection(const QString& name);

// A fake service on a connection of its own: records every call and answers it with what `answer` returns.
class FakeService : public QDBusVirtualObject
{
public:
    using Answer = std::function<QVariantList(const QDBusMessage&)>;
    FakeService(QDBusConnection connection, const QString& service, const QString& path, Answer answer = {});
    ~FakeService() override { QDBusConnection::disconnectFromBus(m_connection.name()); }

    bool registered() const { return m_registered; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }
    std::vector<QDBusMessage> calls;

private:
    QDBusConnection m_connection;
    Answer m_answer;
    bool m_registered = false;
};

// Spins the event loop, running deferred deletions, until `condition` holds or `milliseconds` pass.
bool settleUntil(const std::function<bool()>& condition, int milliseconds = 5000);

} // namespace tarvo::test
