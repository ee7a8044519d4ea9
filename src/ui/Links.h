#pragma once

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

} // namespace tarvo::ui
