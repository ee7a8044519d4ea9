// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLabel>
#include <QString>

namespace tarvo::ui {

// Where the project lives and where to write to it.
inline QString developerSite()
{
    return QStringLiteral("https://tarvo.app");
}
inline QString contactAddress()
{
    return QStringLiteral("hello@tarvo.app");
}

// A label's rich text for a link that shows its own address.
inline QString linkText(const QString& target, const QString& shown)
{
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(target.toHtmlEscaped(), shown.toHtmlEscaped());
}

// A label holding one link that opens in the desktop's browser or mail program.
inline QLabel* makeLink(const QString& target, const QString& shown, QWidget* parent)
{
    auto* link = new QLabel(linkText(target, shown), parent);
    link->setTextFormat(Qt::RichText);
    link->setOpenExternalLinks(true);
    link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    return link;
}

} // namespace tarvo::ui
