// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <optional>

namespace tarvo::platform {

// Tarvo's items in the file managers' context menus ("Compress with Tarvo", "Extract with Tarvo").
class FileManagerMenus
{
public:
    virtual ~FileManagerMenus() = default;
    // Adds them for the current user: the reason in the system's words when that fails, else none.
    virtual std::optional<QString> addForUser() = 0;
};

} // namespace tarvo::platform
