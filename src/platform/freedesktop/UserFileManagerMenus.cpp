// SPDX-License-Identifier: GPL-3.0-or-later

#include "UserFileManagerMenus.h"

#include "engine/util/AppPaths.h"
#include "engine/vocabulary/ErrorText.h"
#include "finder/FileManagerEntries.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <filesystem>

namespace tarvo::platform {

std::optional<QString> UserFileManagerMenus::addForUser()
{
    namespace fs = std::filesystem;
    QString helper = QCoreApplication::applicationDirPath() + QStringLiteral("/tarvo-finder");
    if (!QFileInfo(helper).isExecutable()) {
        helper = QStandardPaths::findExecutable(QStringLiteral("tarvo-finder"));
    }
    try {
        if (helper.isEmpty()) {
            throw fs::filesystem_error("tarvo-finder", fs::path("tarvo-finder"),
                                       std::make_error_code(std::errc::no_such_file_or_directory));
        }
        // The support folder is $XDG_DATA_HOME/Tarvo; the file managers read $XDG_DATA_HOME.
        finder::installForUser(engine::AppPaths::supportDirectory().parent_path(), helper.toStdString());
    } catch (const std::exception& error) {
        return QString::fromStdString(engine::describeError(error));
    }
    return std::nullopt;
}

} // namespace tarvo::platform
