// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <qcoro/qcorotask.h>

namespace tarvo::platform {

// What an open panel asks for.
struct OpenRequest
{
    QString message;     // shown as the dialog's title
    QString acceptLabel; // the button that confirms
    bool files = true;
    bool folders = false;
    bool multiple = true;
    QStringList nameFilters; // e.g. "*.zip"; empty: any file
    QString startDirectory;  // empty: the dialog's own choice
};

// Non-modal open panels. The answer arrives when the person closes the panel.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;
    // The chosen absolute paths, or none when the panel was cancelled.
    virtual QCoro::Task<std::optional<QStringList>> open(OpenRequest request) = 0;
};

} // namespace tarvo::platform
