// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/Desktop.h"

#include <functional>

namespace tarvo::platform {

// The application's state as Qt reports it; showing the main window is left to the caller's function.
class ApplicationDesktop final : public Desktop
{
public:
    explicit ApplicationDesktop(std::function<void()> showMainWindow);

    bool isActive() const override;
    void showMainWindow() override;

private:
    std::function<void()> m_showMainWindow;
};

} // namespace tarvo::platform
