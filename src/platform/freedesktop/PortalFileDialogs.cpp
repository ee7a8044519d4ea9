// SPDX-License-Identifier: GPL-3.0-or-later

#include "PortalFileDialogs.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <qcoro/qcorodbuspendingcall.h>
#include <qcoro/qcorosignal.h>

namespace tarvo::platform {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kChooser = QStringLiteral("org.freedesktop.portal.FileChooser");
// A running portal answers at once; one that hangs must not keep the panel from opening for long.
constexpr int kPortalTimeout = 2000;
// The chooser learned to choose folders and to start in a given folder in this version.
constexpr uint kFolderVersion = 3;

// One pattern of a filter: 0 for a glob, 1 for a MIME type.
struct FilterRule
{
    uint kind = 0;
    QString pattern;
};

struct Filter
{
    QString name;
    QList<FilterRule> rules;
};

QDBusArgument& operator<<(QDBusArgument& argument, const FilterRule& rule)
{
    argument.beginStructure();
    argument << rule.kind << rule.pattern;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, FilterRule& rule)
{
    argument.beginStructure();
    argument >> rule.kind >> rule.pattern;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const Filter& filter)
{
    argument.beginStructure();
    argument << filter.name << filter.rules;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Filter& filter)
{
    argument.beginStructure();
    argument >> filter.name >> filter.rules;
    argument.endStructure();
    return argument;
}

} // namespace
} // namespace tarvo::platform

Q_DECLARE_METATYPE(tarvo::platform::FilterRule)
Q_DECLARE_METATYPE(tarvo::platform::Filter)

namespace tarvo::platform {

namespace {

QVariant unwrapped(QVariant value)
{
    while (value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    return value;
}

// The window the panel belongs to, as the portal names it. Qt 6.4 cannot export a Wayland surface to
// another client, so there the panel comes without one.
QString parentWindow()
{
    const QWidget* window = QApplication::activeWindow();
    if (window == nullptr || QGuiApplication::platformName() != QStringLiteral("xcb")) {
        return {};
    }
    return QStringLiteral("x11:%1").arg(window->winId(), 0, 16);
}

QVariantMap options(const OpenRequest& request, const QString& token, uint version)
{
    QVariantMap options{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("modal"), false},
                        {QStringLiteral("multiple"), request.multiple}};
    if (!request.acceptLabel.isEmpty()) {
        options.insert(QStringLiteral("accept_label"), request.acceptLabel);
    }
    if (request.folders) {
        options.insert(QStringLiteral("directory"), true);
    }
    if (!request.startDirectory.isEmpty() && version >= kFolderVersion) {
        options.insert(QStringLiteral("current_folder"), QFile::encodeName(request.startDirectory).append('\0'));
    }
    if (!request.nameFilters.isEmpty()) {
        // Portal globs match case, Qt's panel does not: "*.ZIP" is an archive too.
        Filter filter{request.nameFilters.join(u' '), {}};
        for (const QString& pattern : request.nameFilters) {
            filter.rules.append({0, pattern});
            if (pattern.toUpper() != pattern) {
                filter.rules.append({0, pattern.toUpper()});
            }
        }
        options.insert(QStringLiteral("filters"), QVariant::fromValue(QList<Filter>{filter}));
    }
    return options;
}

} // namespace

// Wakes the waiting coroutine with the portal's response, or with none when the portal leaves the bus
// before it answered.
class PortalResponse : public QObject
{
    Q_OBJECT

public:
    std::optional<uint> code;
    QVariantMap results;

public Q_SLOTS:
    void respond(uint responseCode, const QVariantMap& responseResults)
    {
        if (!m_done) {
            m_done = true;
            code = responseCode;
            results = responseResults;
            Q_EMIT done();
        }
    }
    void leave()
    {
        if (!m_done) {
            m_done = true;
            Q_EMIT done();
        }
    }

Q_SIGNALS:
    void done();

private:
    bool m_done = false;
};

namespace {

// The outcome of asking the portal: chosen paths, a cancelled panel, or no panel at all.
struct PortalOutcome
{
    bool shown = false;
    std::optional<QStringList> paths;
};

QCoro::Task<PortalOutcome> askPortal(QDBusConnection bus, OpenRequest request)
{
    if (!bus.isConnected()) {
        co_return {};
    }
    // Only a portal that runs: starting one to open a panel would leave a plain desktop waiting.
    QDBusMessage owned =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    owned << kPortal;
    const QDBusMessage hasOwner = co_await bus.asyncCall(owned, kPortalTimeout);
    if (hasOwner.type() != QDBusMessage::ReplyMessage || hasOwner.arguments().isEmpty() ||
        !hasOwner.arguments().constFirst().toBool()) {
        co_return {};
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        kPortal, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kChooser << QStringLiteral("version");
    const QDBusMessage versionReply = co_await bus.asyncCall(get, kPortalTimeout);
    bool known = false;
    const uint version = versionReply.type() == QDBusMessage::ReplyMessage && !versionReply.arguments().isEmpty()
                             ? unwrapped(versionReply.arguments().constFirst()).toUInt(&known)
                             : 0;
    if (!known || (request.folders && version < kFolderVersion)) {
        co_return {};
    }

    qDBusRegisterMetaType<FilterRule>();
    qDBusRegisterMetaType<QList<FilterRule>>();
    qDBusRegisterMetaType<Filter>();
    qDBusRegisterMetaType<QList<Filter>>();
    static uint counter = 0;
    const QString token = QStringLiteral("tarvo%1").arg(++counter);
    // The request's path is known before the call, so that a quick answer cannot pass unheard.
    QString sender = bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);

    auto response = std::make_unique<PortalResponse>();
    const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
    const QString responseSignal = QStringLiteral("Response");
    const auto listen = [&](const QString& at) {
        return bus.connect(kPortal, at, requestInterface, responseSignal, response.get(),
                           SLOT(respond(uint, QVariantMap)));
    };
    const auto stopListening = [&](const QString& at) {
        bus.disconnect(kPortal, at, requestInterface, responseSignal, response.get(), SLOT(respond(uint, QVariantMap)));
    };
    if (!listen(path)) {
        co_return {};
    }
    QDBusServiceWatcher watcher(kPortal, bus, QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, response.get(), &PortalResponse::leave);

    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kChooser, QStringLiteral("OpenFile"));
    call << parentWindow() << request.message << options(request, token, version);
    const QDBusMessage handle = co_await bus.asyncCall(call, kPortalTimeout);
    if (handle.type() != QDBusMessage::ReplyMessage || handle.arguments().isEmpty()) {
        stopListening(path);
        co_return {};
    }
    // A portal older than handle tokens names its own path.
    const QString named = handle.arguments().constFirst().value<QDBusObjectPath>().path();
    if (!named.isEmpty() && named != path) {
        stopListening(path);
        path = named;
        listen(path);
    }
    if (!response->code) {
        co_await qCoro(response.get(), &PortalResponse::done);
    }
    stopListening(path);

    // 0 chosen, 1 cancelled, 2 the panel could not be shown.
    if (!response->code || *response->code == 2) {
        co_return {};
    }
    PortalOutcome outcome{true, std::nullopt};
    if (*response->code != 0) {
        co_return outcome;
    }
    QStringList paths;
    for (const QString& uri : response->results.value(QStringLiteral("uris")).toStringList()) {
        const QUrl url(uri);
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            paths.append(QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath()));
        }
    }
    if (!paths.isEmpty()) {
        outcome.paths = paths;
    }
    co_return outcome;
}

} // namespace

PortalFileDialogs::PortalFileDialogs(QDBusConnection bus, std::shared_ptr<FileDialogs> fallback)
    : m_bus(std::move(bus))
    , m_fallback(std::move(fallback))
{}

QCoro::Task<std::optional<QStringList>> PortalFileDialogs::open(OpenRequest request)
{
    if (!(request.files && request.folders)) {
        PortalOutcome outcome = co_await askPortal(m_bus, request);
        if (outcome.shown) {
            co_return outcome.paths;
        }
    }
    auto fallback = m_fallback;
    co_return co_await fallback->open(std::move(request));
}

} // namespace tarvo::platform

#include "PortalFileDialogs.moc"
