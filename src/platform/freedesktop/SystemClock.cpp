// SPDX-License-Identifier: GPL-3.0-or-later

#include "SystemClock.h"

#include <QCoreApplication>
#include <QTimer>

namespace tarvo::platform {

void SystemClock::after(std::chrono::milliseconds delay, QObject* context, std::function<void()> action)
{
    // Without a context the call lives as long as the application.
    const QObject* receiver = context != nullptr ? context : QCoreApplication::instance();
    QTimer::singleShot(delay, receiver, std::move(action));
}

} // namespace tarvo::platform
