// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QUrl>
#include <filesystem>
#include <optional>
#include <qcoro/qcorotask.h>
#include <string>
#include <string_view>

namespace tarvo::app {

// Downloads RARLAB's command-line package and installs its rar and unrar into the application's
// tool folder, where the tool locator looks first.
class RarInstaller
{
public:
    // Installs rar and, when the package has it, unrar into AppPaths::toolDirectory(). Throws
    // engine::ArchiveError, or std::runtime_error / std::filesystem::filesystem_error /
    // std::system_error with the platform's text. Runs on the main thread; the unpacking and the
    // copies run on a worker.
    static QCoro::Task<> installOfficialTools();

    // RARLAB's package for this machine ("x86_64"), or none for machines it has no package for.
    static std::optional<QString> packageName(std::string_view machine);

    // TARVO_RARLAB_URL when set (tests), else the RARLAB site; then "/rar/" and the package.
    static QUrl downloadUrl(const QString& package);

    // Takes the first file named exactly `name` in `folder` (depth-first, parents before their
    // contents, hidden items included, names in byte order) and puts a copy with mode 0755 at
    // destination/name, replacing what was there without ever leaving a half-written program under
    // that name. A folder of that name is searched, not taken: the vendor's package unpacks into a
    // folder called "rar", and what the locator needs is a program. A symbolic link is taken for
    // the file it leads to when that file lies inside `folder`; links leading out of it or nowhere
    // are passed over. Nothing found: ArchiveError toolFailed(name, 1, "The RARLAB archive has no
    // NAME.").
    static void installBinary(const std::string& name, const std::filesystem::path& folder,
                              const std::filesystem::path& destination);

    // What installBinary would take, or none.
    static std::optional<std::filesystem::path> findBinary(const std::string& name,
                                                           const std::filesystem::path& folder);
};

} // namespace tarvo::app
