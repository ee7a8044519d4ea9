// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>

namespace tarvo::platform {

// Shows files selected in a file-manager window, or opens one in the desktop's default application.
class FileReveal
{
public:
    virtual ~FileReveal() = default;
    // Absolute paths. Returns at once; a file manager that cannot be reached is not an error.
    virtual void reveal(const QStringList& paths) = 0;
    // A file to look at, read-only, in the application the desktop opens its type with. Returns at once.
    virtual void open(const QString& path) = 0;
};

} // namespace tarvo::platform
