// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace tarvo::platform {

// The application as the desktop sees it.
class Desktop
{
public:
    virtual ~Desktop() = default;
    // Whether one of the application's windows has the focus.
    virtual bool isActive() const = 0;
    // Opens or shows the main window and brings it to the front.
    virtual void showMainWindow() = 0;
};

} // namespace tarvo::platform
