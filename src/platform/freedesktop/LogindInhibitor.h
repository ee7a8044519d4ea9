// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <optional>

namespace tarvo::platform {

// An "idle" block lock of logind (org.freedesktop.login1.Manager.Inhibit): the machine stays awake while
// the descriptor logind hands out is open. Asked for asynchronously; no bus, no logind or a refusal
// leaves things as they are.
class LogindInhibitor final : public QObject, public SleepInhibitor
{
    Q_OBJECT

public:
    // On the system bus, looked up at the first begin().
    explicit LogindInhibitor(QObject* parent = nullptr);
    // On the given connection.
    explicit LogindInhibitor(QDBusConnection bus, QObject* parent = nullptr);

    void begin() override;
    void end() override;

private:
    std::optional<QDBusConnection> m_bus;
    QDBusUnixFileDescriptor m_lock;
    bool m_wanted = false;
};

} // namespace tarvo::platform
