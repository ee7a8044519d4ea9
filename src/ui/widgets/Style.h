// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/l10n/Text.h"

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QString>

class QComboBox;
class QLabel;
class QPainter;
class QPalette;
class QRectF;

namespace tarvo::ui {

// A fixed text in the current interface language.
QString text(engine::Text which);
QString text(const std::string& built);

// A name for one line of text: control characters (a line feed in a file name), line separators and
// the marks that reverse the reading direction (which can make "photo\u202Egpj.exe" read "photoexe.jpg")
// become visible replacement marks.
QString singleLine(const std::string& name);

// A tooltip that shows its text as it is, never as markup.
QString plainToolTip(const QString& text);

// The locale of the interface language, for sizes and numbers.
QLocale interfaceLocale();

// Type sizes relative to the desktop's own font, so that a larger desktop font scales everything.
QFont titleFont(const QFont& base);
QFont headlineFont(const QFont& base);
QFont captionFont(const QFont& base);

// Text that matters less: the palette's text colour, faded toward the background.
QColor secondaryText(const QPalette& palette);
// Whether the palette is a dark one.
bool isDark(const QPalette& palette);

// Shows a window, restores it when minimized and brings it to the front.
void bringToFront(QWidget* window);

// Whether the compositor places every window itself (Wayland), ignoring positions a client asks for:
// there a window that belongs over another is given it as its transient parent instead.
bool compositorPlacesWindows();

// One row per compression level, titled in the interface language; the rows are made on the first call.
void showLevels(QComboBox* combo);

// A caption label: small, secondary, wrapping.
QLabel* makeCaption(QWidget* parent);
// A caption in the warning colour, plain text.
QLabel* makeWarningCaption(QWidget* parent);

// The frosted card under the option controls and the settings sections. `accent` tints it with the
// highlight colour, as while files hover over the drop stage.
void paintPanel(QPainter& painter, const QRectF& rect, const QPalette& palette, bool accent = false);

// A dark palette for desktops that prefer dark colours but give Qt none.
QPalette darkPalette();

// The gradient colour of the main window's background (red 0.45, green 0.75, blue 1.0).
QColor gradientColor();

} // namespace tarvo::ui
