// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/Notifier.h"

namespace tarvo::platform {

// org.freedesktop.Notifications on the session bus. Every call is a new notification; nobody waits
// for the server's answer.
class DBusNotifier final : public Notifier
{
public:
    void deliver(const QString& body) override;
};

} // namespace tarvo::platform
