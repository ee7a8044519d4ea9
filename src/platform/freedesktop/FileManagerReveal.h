// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/FileReveal.h"

#include <QUrl>
#include <functional>

namespace tarvo::platform {

// org.freedesktop.FileManager1.ShowItems on the session bus; when no file manager answers, the folder
// that holds the first path is opened instead. A file is opened through the desktop portal's
// OpenFile, handed over read-only by descriptor; without the portal, by xdg-open.
class FileManagerReveal final : public FileReveal
{
public:
    using OpenFolder = std::function<void(const QUrl& folder)>;

    // `openFolder` is the fallback; empty: the desktop's URL handler.
    explicit FileManagerReveal(OpenFolder openFolder = {});

    void reveal(const QStringList& paths) override;
    void open(const QString& path) override;

private:
    OpenFolder m_openFolder;
};

} // namespace tarvo::platform
