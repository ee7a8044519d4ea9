// SPDX-License-Identifier: GPL-3.0-or-later

#include "AutostartLoginItem.h"

#include "engine/util/FileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tarvo::platform {

namespace {

// Whether the [Desktop Entry] group says Hidden=true, which the autostart standard reads as "deleted".
bool isHidden(const QByteArray& content)
{
    bool inEntryGroup = false;
    for (const QByteArray& rawLine : content.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inEntryGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inEntryGroup || line.startsWith('#') || equals < 0) {
            continue;
        }
        if (line.left(equals).trimmed() == "Hidden" && line.mid(equals + 1).trimmed() == "true") {
            return true;
        }
    }
    return false;
}

QString systemErrorText(const QString& path, const std::error_code& error)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), QString::fromStdString(error.message()));
}

} // namespace

AutostartLoginItem::AutostartLoginItem(QString program)
    : m_program(std::move(program))
{}

QString AutostartLoginItem::entryPath()
{
    // The base directory standard ignores relative values.
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
        configHome = QDir::homePath() + QStringLiteral("/.config");
    }
    return configHome + QStringLiteral("/autostart/com.tarvo.app.desktop");
}

QString AutostartLoginItem::execValue(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString argument = program;
    const bool quote = argument.isEmpty() ||
                       std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    if (quote) {
        QString quoted;
        for (const QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
                quoted += u'\\';
            }
            quoted += c;
        }
        argument = u'"' + quoted + u'"';
    }
    // '%' starts a field code; a literal one is doubled.
    argument.replace(u'%', QStringLiteral("%%"));

    // The string escapes of the file format apply on top of the quoting.
    QString value;
    for (const QChar c : argument) {
        switch (c.unicode()) {
        case '\\':
            value += QStringLiteral("\\\\");
            break;
        case '\n':
            value += QStringLiteral("\\n");
            break;
        case '\t':
            value += QStringLiteral("\\t");
            break;
        case '\r':
            value += QStringLiteral("\\r");
            break;
        default:
            value += c;
        }
    }
    return value;
}

LoginItem::Status AutostartLoginItem::status() const
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly)) {
        return Status::notRegistered;
    }
    return isHidden(file.readAll()) ? Status::notRegistered : Status::enabled;
}

std::optional<QString> AutostartLoginItem::setEnabled(bool enabled)
{
    if (enabled) {
        return write();
    }
    // std::filesystem::remove neither follows a link nor minds an entry that is already gone.
    const QString path = entryPath();
    std::error_code error;
    std::filesystem::remove(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (error) {
        return systemErrorText(path, error);
    }
    return std::nullopt;
}

std::optional<QString> AutostartLoginItem::write() const
{
    const QString program = m_program.isEmpty() ? QCoreApplication::applicationFilePath() : m_program;
    if (program.isEmpty()) {
        return QStringLiteral("The location of the Tarvo program is unknown.");
    }
    const QString path = entryPath();
    const QString folder = QFileInfo(path).absolutePath();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
    if (error) {
        return systemErrorText(folder, error);
    }

    const QString content = QStringLiteral("[Desktop Entry]\n"
                                           "Type=Application\n"
                                           "Name=Tarvo\n"
                                           "Exec=%1\n"
                                           "Icon=com.tarvo.app\n"
                                           "Terminal=false\n"
                                           "X-GNOME-Autostart-enabled=true\n")
                                .arg(execValue(program));
    // A failure keeps the old entry whole. (Qt 6.4's QSaveFile would overlook a failed final flush.)
    const QByteArray bytes = content.toUtf8();
    error = engine::replaceFile(std::filesystem::path(QFile::encodeName(path).toStdString()),
                                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (error) {
        return systemErrorText(path, error);
    }
    return std::nullopt;
}

} // namespace tarvo::platform
