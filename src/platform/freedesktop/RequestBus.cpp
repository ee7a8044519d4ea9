// SPDX-License-Identifier: GPL-3.0-or-later

#include "RequestBus.h"

#include "RequestBusAdaptor.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace tarvo::platform {

namespace {

const QString kAction = QStringLiteral("action");
const QString kPaths = QStringLiteral("paths");

// A map read from a message argument, whatever QtDBus made of it.
QVariantMap toMap(const QVariant& argument)
{
    if (argument.canConvert<QDBusArgument>()) {
        const auto dbusArgument = argument.value<QDBusArgument>();
        if (dbusArgument.currentType() == QDBusArgument::MapType &&
            dbusArgument.currentSignature() == QStringLiteral("a{sv}")) {
            return qdbus_cast<QVariantMap>(dbusArgument);
        }
        return {};
    }
    return argument.typeId() == QMetaType::QVariantMap ? argument.toMap() : QVariantMap();
}

bool call(const QDBusConnection& connection, const QString& method, const QVariantList& arguments, int timeoutMs)
{
    if (!connection.isConnected()) {
        return false;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(RequestBus::kService),
                                                          QString::fromLatin1(RequestBus::kPath),
                                                          QString::fromLatin1(RequestBus::kInterface), method);
    message.setArguments(arguments);
    const QDBusMessage reply = connection.call(message, QDBus::Block, timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace

FinderRequest FinderRequest::read(const QVariantMap& request)
{
    FinderRequest result;
    const QVariant action = request.value(kAction);
    result.action = action.typeId() == QMetaType::QString ? action.toString() : QStringLiteral("compress");
    // QtDBus gives "as" as a string list; any other list (av, ai) is not a list of strings.
    const QVariant paths = request.value(kPaths);
    if (paths.typeId() == QMetaType::QStringList) {
        result.paths = paths.toStringList();
    }
    return result;
}

QVariantMap FinderRequest::toMap() const
{
    return {{kAction, action}, {kPaths, paths}};
}

RequestBus::RequestBus(QDBusConnection connection, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
{
    new AppAdaptor(this);
}

RequestBus::~RequestBus()
{
    stop();
}

RequestBus::Start RequestBus::start()
{
    if (!m_connection.isConnected()) {
        return Start::alone;
    }
    // The object first, so that a request arriving the moment the name is ours finds it.
    if (!m_connection.registerObject(QString::fromLatin1(kPath), this, QDBusConnection::ExportAdaptors)) {
        return Start::alone;
    }
    m_registered = true;
    QDBusConnectionInterface* bus = m_connection.interface();
    if (bus == nullptr) {
        return Start::alone;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus->registerService(QString::fromLatin1(kService), QDBusConnectionInterface::DontQueueService,
                             QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        return Start::alone;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        // Only the owner hears the signal: a process that runs on beside another one must not do
        // every request a second time.
        return Start::anotherRuns;
    }
    // An empty signature with a message-only slot hears the member whatever its arguments.
    m_listening =
        m_connection.connect(QString(), QString::fromLatin1(kFinderPath), QString::fromLatin1(kFinderInterface),
                             QString::fromLatin1(kFinderMember), this, SLOT(onFinderSignal(QDBusMessage)));
    return Start::owner;
}

void RequestBus::stop()
{
    if (m_listening) {
        m_connection.disconnect(QString(), QString::fromLatin1(kFinderPath), QString::fromLatin1(kFinderInterface),
                                QString::fromLatin1(kFinderMember), this, SLOT(onFinderSignal(QDBusMessage)));
        m_listening = false;
    }
    if (m_registered) {
        m_connection.unregisterService(QString::fromLatin1(kService));
        m_connection.unregisterObject(QString::fromLatin1(kPath));
        m_registered = false;
    }
}

bool RequestBus::activate(const QDBusConnection& connection, int timeoutMs)
{
    return call(connection, QStringLiteral("Activate"), {}, timeoutMs);
}

bool RequestBus::open(const QDBusConnection& connection, const QStringList& paths, int timeoutMs)
{
    return call(connection, QStringLiteral("Open"), {paths}, timeoutMs);
}

bool RequestBus::request(const QDBusConnection& connection, const FinderRequest& request, int timeoutMs)
{
    return call(connection, QStringLiteral("Request"), {request.toMap()}, timeoutMs);
}

void RequestBus::Activate()
{
    Q_EMIT activationRequested();
}

void RequestBus::Open(const QStringList& paths)
{
    Q_EMIT openRequested(paths);
}

void RequestBus::Request(const QVariantMap& request)
{
    const FinderRequest read = FinderRequest::read(request);
    Q_EMIT desktopActionRequested(read.action, read.paths);
}

void RequestBus::onFinderSignal(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    const FinderRequest read = FinderRequest::read(arguments.isEmpty() ? QVariantMap() : toMap(arguments.first()));
    Q_EMIT finderRequested(read.action, read.paths);
}

} // namespace tarvo::platform
