// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace tarvo::platform {

// Desktop notifications titled "Tarvo". Fire and forget: a missing or refusing notification
// server drops the notification silently.
class Notifier
{
public:
    virtual ~Notifier() = default;
    virtual void deliver(const QString& body) = 0;
};

} // namespace tarvo::platform
