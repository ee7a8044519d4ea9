// SPDX-License-Identifier: GPL-3.0-or-later

#include "Icons.h"

#include "engine/history/ArchiveRecord.h"

#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <array>

namespace tarvo::ui {

namespace {

struct Symbol
{
    std::string_view name;
    const char* themeName;
    const char* fallback;
};

constexpr std::array<Symbol, 9> kSymbols = {{
    {"folder", "folder", ":/icons/folder.svg"},
    {"archivebox", "package-x-generic", ":/icons/package-x-generic.svg"},
    {"photo", "image-x-generic", ":/icons/image-x-generic.svg"},
    {"doc", "text-x-generic", ":/icons/text-x-generic.svg"},
    {"arrow.down.doc", "document-save", ":/icons/document-save.svg"},
    {"exclamationmark.triangle", "dialog-warning", ":/icons/dialog-warning.svg"},
    {"clock", "appointment-soon", ":/icons/appointment-soon.svg"},
    {"checkmark.circle", "emblem-ok-symbolic", ":/icons/emblem-ok.svg"},
    {"xmark.circle", "dialog-error", ":/icons/dialog-error.svg"},
}};

QIcon themed(const Symbol& symbol)
{
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(symbol.themeName));
    // "dialog-ok" stands in where a theme lacks the symbolic check mark.
    if (icon.isNull() && symbol.name == "checkmark.circle") {
        icon = QIcon::fromTheme(QStringLiteral("dialog-ok"));
    }
    return icon.isNull() ? QIcon(QString::fromLatin1(symbol.fallback)) : icon;
}

} // namespace

QIcon Icons::symbol(std::string_view name)
{
    // Theme lookups walk folders on disk; a row repaint must not.
    static QHash<QString, QIcon> cache;
    const QString key = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    if (const auto found = cache.constFind(key); found != cache.constEnd()) {
        return *found;
    }
    QIcon icon;
    for (const Symbol& symbol : kSymbols) {
        if (symbol.name == name) {
            icon = themed(symbol);
        }
    }
    cache.insert(key, icon);
    return icon;
}

QIcon Icons::record(const engine::ArchiveRecord& record)
{
    if (!record.succeeded) {
        return symbol("exclamationmark.triangle");
    }
    return symbol(record.kind == engine::JobKind::extract ? "arrow.down.doc" : "archivebox");
}

QIcon Icons::application()
{
    static const QIcon icon = [] {
        QIcon themedIcon = QIcon::fromTheme(QStringLiteral("com.tarvo.app"));
        return themedIcon.isNull() ? QIcon(QStringLiteral(":/icons/com.tarvo.app.svg")) : themedIcon;
    }();
    return icon;
}

QIcon Icons::lightning()
{
    static const QIcon icon(QStringLiteral(":/icons/lightning.svg"));
    return icon;
}

QIcon Icons::hero()
{
    static const QIcon icon(QStringLiteral(":/icons/hero.svg"));
    return icon;
}

QIcon Icons::menu(const QPalette& palette)
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal bar = size / 8.0;
        const qreal width = size * 0.7;
        const qreal left = (size - width) / 2;
        for (int i = 0; i < 3; ++i) {
            const qreal top = size * 0.25 + i * size * 0.25 - bar / 2;
            painter.fillRect(QRectF(left, top, width, bar), palette.color(QPalette::ButtonText));
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace tarvo::ui
