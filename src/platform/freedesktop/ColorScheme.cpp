// SPDX-License-Identifier: GPL-3.0-or-later

#include "ColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariant>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace tarvo::platform {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
// The portal answers at once when it runs; a start-up must not wait long when it hangs.
constexpr int kPortalTimeout = 250;

std::optional<bool> fromGtkTheme()
{
    const char* theme = std::getenv("GTK_THEME");
    if (theme == nullptr || *theme == '\0') {
        return std::nullopt;
    }
    return std::string_view(theme).ends_with(":dark");
}

// The portal's "color-scheme": 1 prefers dark, 2 prefers light, 0 has no preference.
std::optional<bool> fromPortal()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return std::nullopt;
    }
    // Asking a name nobody owns could start a portal just to answer us: only ask a running one.
    QDBusMessage owned =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                                       QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    owned << kPortal;
    const QDBusMessage answer = bus.call(owned, QDBus::Block, kPortalTimeout);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty() ||
        !answer.arguments().constFirst().toBool()) {
        return std::nullopt;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kPortal, QStringLiteral("/org/freedesktop/portal/desktop"),
                                       QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kPortalTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    // The value comes wrapped in one or two variants, depending on the portal's version.
    QVariant value = reply.arguments().constFirst();
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    return ok ? std::optional<bool>(scheme == 1) : std::nullopt;
}

} // namespace

bool prefersDarkColors()
{
    if (const auto gtk = fromGtkTheme()) {
        return *gtk;
    }
    return fromPortal().value_or(false);
}

} // namespace tarvo::platform
