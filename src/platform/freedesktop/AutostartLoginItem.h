// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/LoginItem.h"

namespace tarvo::platform {

// An XDG autostart entry, $XDG_CONFIG_HOME/autostart/com.tarvo.app.desktop. Present and not hidden:
// enabled; anything else: not registered. Linux has no approval step.
class AutostartLoginItem final : public LoginItem
{
public:
    // `program` is what the entry starts; empty: the running executable.
    explicit AutostartLoginItem(QString program = {});

    Status status() const override;
    std::optional<QString> setEnabled(bool enabled) override;

    // Where the entry lives, from the environment of this moment.
    static QString entryPath();
    // `program` as the Exec value of a desktop entry: quoted when it needs to be, escaped for the file.
    static QString execValue(const QString& program);

private:
    std::optional<QString> write() const;

    QString m_program;
};

} // namespace tarvo::platform
