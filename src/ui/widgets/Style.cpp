// SPDX-License-Identifier: GPL-3.0-or-later

#include "Style.h"

#include "engine/l10n/L10n.h"
#include "engine/vocabulary/CompressionLevel.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace tarvo::ui {

QString text(engine::Text which)
{
    return QString::fromStdString(engine::L10n::text(which));
}

QString text(const std::string& built)
{
    return QString::fromStdString(built);
}

QString singleLine(const std::string& name)
{
    QString line = QString::fromStdString(name);
    for (QChar& character : line) {
        const char16_t code = character.unicode();
        const bool directional = (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
        const auto category = character.category();
        if (directional || category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph) {
            character = QChar::ReplacementCharacter;
        }
    }
    return line;
}

QString plainToolTip(const QString& text)
{
    return text.isEmpty() ? QString() : QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
}

QLocale interfaceLocale()
{
    return QLocale(QString::fromUtf8(engine::L10n::language().rawValue()));
}

namespace {

QFont sized(const QFont& base, double factor, QFont::Weight weight)
{
    QFont font(base);
    if (base.pointSizeF() > 0) {
        font.setPointSizeF(base.pointSizeF() * factor);
    } else {
        font.setPixelSize(static_cast<int>(base.pixelSize() * factor + 0.5));
    }
    font.setWeight(weight);
    return font;
}

} // namespace

QFont titleFont(const QFont& base)
{
    return sized(base, 1.6, QFont::DemiBold);
}

QFont headlineFont(const QFont& base)
{
    return sized(base, 1.0, QFont::DemiBold);
}

QFont captionFont(const QFont& base)
{
    return sized(base, 0.88, QFont::Normal);
}

QColor secondaryText(const QPalette& palette)
{
    const QColor text = palette.color(QPalette::WindowText);
    const QColor window = palette.color(QPalette::Window);
    // Two thirds of the way to the text: readable in both palettes, yet clearly quieter.
    return QColor::fromRgbF(window.redF() + (text.redF() - window.redF()) * 0.66f,
                            window.greenF() + (text.greenF() - window.greenF()) * 0.66f,
                            window.blueF() + (text.blueF() - window.blueF()) * 0.66f);
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

void bringToFront(QWidget* window)
{
    window->show();
    if (window->isMinimized()) {
        window->showNormal();
    }
    window->raise();
    window->activateWindow();
}

bool compositorPlacesWindows()
{
    return QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

void showLevels(QComboBox* combo)
{
    const auto levels = engine::CompressionLevel::allCases();
    for (int row = combo->count(); row < static_cast<int>(levels.size()); ++row) {
        combo->addItem(QString());
    }
    for (std::size_t i = 0; i < levels.size(); ++i) {
        combo->setItemText(static_cast<int>(i), text(levels[i].title()));
    }
}

QLabel* makeWarningCaption(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setFont(captionFont(label->font()));
    QPalette warning = label->palette();
    const QColor colour(isDark(warning) ? QStringLiteral("#ff9f8f") : QStringLiteral("#b3261e"));
    // Text too: inside a scroll area's viewport a label draws with the Text role.
    warning.setColor(QPalette::WindowText, colour);
    warning.setColor(QPalette::Text, colour);
    label->setPalette(warning);
    return label;
}

QLabel* makeCaption(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFont(captionFont(label->font()));
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, secondaryText(palette));
    palette.setColor(QPalette::Text, secondaryText(palette));
    label->setPalette(palette);
    return label;
}

void paintPanel(QPainter& painter, const QRectF& rect, const QPalette& palette, bool accent)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
    // Dark fields are darker than the card, light fields lighter: both stand out from it.
    QColor fill = isDark(palette) ? palette.color(QPalette::Window).lighter(118) : palette.color(QPalette::Base);
    fill.setAlphaF(isDark(palette) ? 0.88f : 0.78f);
    painter.fillPath(path, fill);
    QColor border = palette.color(QPalette::WindowText);
    border.setAlphaF(0.12f);
    if (accent) {
        QColor tint = palette.color(QPalette::Highlight);
        tint.setAlphaF(0.16f);
        painter.fillPath(path, tint);
        border = palette.color(QPalette::Highlight);
    }
    painter.setPen(QPen(border, accent ? 2.0 : 1.0, accent ? Qt::DashLine : Qt::SolidLine));
    painter.drawPath(path);
    painter.restore();
}

QPalette darkPalette()
{
    const QColor window(0x2b, 0x2d, 0x31);
    const QColor base(0x1f, 0x20, 0x23);
    const QColor text(0xe6, 0xe6, 0xe8);
    const QColor disabled(0x80, 0x82, 0x88);
    QPalette palette(text, window, QColor(0x46, 0x48, 0x4e), QColor(0x19, 0x1a, 0x1c), QColor(0x50, 0x52, 0x58), text,
                     QColor(0xff, 0xff, 0xff), base, window);
    palette.setColor(QPalette::Button, QColor(0x35, 0x37, 0x3c));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::AlternateBase, QColor(0x28, 0x2a, 0x2e));
    palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    palette.setColor(QPalette::HighlightedText, QColor(0xff, 0xff, 0xff));
    palette.setColor(QPalette::Link, QColor(0x78, 0xaa, 0xff));
    palette.setColor(QPalette::LinkVisited, QColor(0xa0, 0x8c, 0xff));
    palette.setColor(QPalette::PlaceholderText, disabled);
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, disabled);
    }
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x50, 0x52, 0x58));
    return palette;
}

QColor gradientColor()
{
    return QColor::fromRgbF(0.45f, 0.75f, 1.0f, 1.0f);
}

} // namespace tarvo::ui
