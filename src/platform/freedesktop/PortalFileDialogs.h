// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/FileDialogs.h"

#include <QDBusConnection>
#include <memory>

namespace tarvo::platform {

// Open panels through the desktop portal's file chooser when a portal runs: the desktop's own panel,
// drawn by the desktop, on X11 and Wayland alike. Without a portal, when it has no file chooser or
// fails to show one, and for files and folders together (which no portal panel can choose), the
// request goes to `fallback` unchanged.
class PortalFileDialogs final : public FileDialogs
{
public:
    PortalFileDialogs(QDBusConnection bus, std::shared_ptr<FileDialogs> fallback);
    QCoro::Task<std::optional<QStringList>> open(OpenRequest request) override;

private:
    QDBusConnection m_bus;
    std::shared_ptr<FileDialogs> m_fallback;
};

} // namespace tarvo::platform
