// SPDX-License-Identifier: GPL-3.0-or-later

#include "LinuxPlatform.h"

#include "ApplicationDesktop.h"
#include "AutostartLoginItem.h"
#include "DBusNotifier.h"
#include "FileManagerReveal.h"
#include "LogindInhibitor.h"
#include "PortalFileDialogs.h"
#include "QtFileDialogs.h"
#include "SystemClock.h"
#include "UserFileManagerMenus.h"

namespace tarvo::platform {

Platform linuxPlatform(std::function<void()> showMainWindow)
{
    Platform platform;
    platform.dialogs =
        std::make_shared<PortalFileDialogs>(QDBusConnection::sessionBus(), std::make_shared<QtFileDialogs>());
    platform.reveal = std::make_shared<FileManagerReveal>();
    platform.notifier = std::make_shared<DBusNotifier>();
    platform.loginItem = std::make_shared<AutostartLoginItem>();
    platform.inhibitor = std::make_shared<LogindInhibitor>();
    platform.desktop = std::make_shared<ApplicationDesktop>(std::move(showMainWindow));
    platform.clock = std::make_shared<SystemClock>();
    platform.fileManagerMenus = std::make_shared<UserFileManagerMenus>();
    return platform;
}

} // namespace tarvo::platform
