#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <functional>
#include <optional>
#include <vector>

namespace tarvo::test {

// The address of a private bus, started by this program, that DBUS_SYSTEM_BUS_ADDRESS points at; empty
// when dbus-daemon could not be started.
QString fakeSystemBusAddress();

// Why the session bus cannot host a fake `service` (none, or a real desktop service holds the name).
std::optional<QString> sessionBusUnusable(const QString& service);

// A fake service on a connection of its own: records every call to `path` and answers it with what
// `answer` returns (an empty reply when none is given).
class FakeService : public QDBusVirtualObject
{
public:
    using Answer = std::function<QVariantList(const QDBusMessage&)>;
    FakeService(QDBusConnection connection, const QString& service, const QString& path, Answer answer = {});
    ~FakeService() override;

    bool registered() const { return m_registered; }
    std::vector<QDBusMessage> calls;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

private:
    QDBusConnection m_connection;
    Answer m_answer;
    bool m_registered = false;
};

// Spins the event loop, running deferred deletions, until `condition` holds or `milliseconds` pass.
bool settleUntil(const std::function<bool()>& condition, int milliseconds = 5000);

} // namespace tarvo::test
