// SPDX-License-Identifier: GPL-3.0-or-later

#include "ApplicationDesktop.h"

#include <QGuiApplication>

namespace tarvo::platform {

ApplicationDesktop::ApplicationDesktop(std::function<void()> showMainWindow)
    : m_showMainWindow(std::move(showMainWindow))
{}

bool ApplicationDesktop::isActive() const
{
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

void ApplicationDesktop::showMainWindow()
{
    if (m_showMainWindow) {
        m_showMainWindow();
    }
}

} // namespace tarvo::platform
