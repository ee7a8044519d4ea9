#include "TestBus.h"

#include "TaskRunner.h"
#include "TestSupport.h"

#include <QDBusConnectionInterface>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/prctl.h>

namespace tarvo::test {

namespace {

QString g_systemBusAddress;

// Keeps the tests off the user's files and buses. libdbus reads the bus addresses once, at the first
// connection of the process, so they are set here, before any test runs.
class PlatformEnvironment : public testing::Environment
{
public:
    void SetUp() override
    {
        m_home = std::make_unique<TempDir>();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
            const auto folder = m_home->path() / name;
            std::filesystem::create_directory(folder);
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
            set(name, folder.string());
        }
        // Outside dbus-run-session, fail to connect rather than let libdbus launch a bus.
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tarvo-test-bus");
        }
        m_daemon.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); }); // gone if we crash
        m_daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=" TARVO_BUS_CONFIG),
                                                       QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (spinUntil([this] { return m_daemon.canReadLine() || m_daemon.state() == QProcess::NotRunning; }, 10000) &&
            m_daemon.canReadLine()) {
            g_systemBusAddress = QString::fromUtf8(m_daemon.readLine()).trimmed();
            set("DBUS_SYSTEM_BUS_ADDRESS", g_systemBusAddress.toStdString());
        }
    }

    void TearDown() override
    {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
        m_variables.clear();
        m_home.reset();
    }

private:
    void set(const char* name, const std::string& value)
    {
        m_variables.push_back(std::make_unique<ScopedEnv>(name, value));
    }

    std::unique_ptr<TempDir> m_home;
    std::vector<std::unique_ptr<ScopedEnv>> m_variables;
    QProcess m_daemon;
};

[[maybe_unused]] testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new PlatformEnvironment);

} // namespace

QString fakeSystemBusAddress()
{
    return g_systemBusAddress;
}

std::optional<QString> sessionBusUnusable(const QString& service)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return QStringLiteral("no session bus: run the test through dbus-run-session");
    }
    if (bus.interface()->isServiceRegistered(service)) {
        return service + QStringLiteral(" is taken on this session bus: run the test through dbus-run-session");
    }
    return std::nullopt;
}

FakeService::FakeService(QDBusConnection connection, const QString& service, const QString& path, Answer answer)
    : m_connection(std::move(connection))
    , m_answer(std::move(answer))
{
    m_registered = m_connection.isConnected() && m_connection.registerVirtualObject(path, this) &&
                   m_connection.registerService(service);
}

FakeService::~FakeService()
{
    QDBusConnection::disconnectFromBus(m_connection.name());
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
