// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <optional>

namespace tarvo::platform {

// Starting the application at login.
class LoginItem
{
public:
    enum class Status
    {
        enabled,
        requiresApproval,
        notRegistered,
    };

    virtual ~LoginItem() = default;
    virtual Status status() const = 0;
    // Registers or unregisters; the error text for the person when that fails.
    virtual std::optional<QString> setEnabled(bool enabled) = 0;
};

} // namespace tarvo::platform
