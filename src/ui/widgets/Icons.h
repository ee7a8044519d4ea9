// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QIcon>
#include <string_view>

class QPalette;

namespace tarvo::engine {
struct ArchiveRecord;
}

namespace tarvo::ui {

// The icons of the windows: the desktop theme's where it has one, else the project's own drawings,
// so that a bare system still shows every icon.
class Icons
{
public:
    // A symbol name of the model: "folder", "archivebox", "photo", "doc", "arrow.down.doc",
    // "exclamationmark.triangle", "clock", "checkmark.circle", "xmark.circle".
    static QIcon symbol(std::string_view name);
    // A failed job shows the warning, an extraction the document with the arrow, an archive the box.
    static QIcon record(const engine::ArchiveRecord& record);

    static QIcon application();
    static QIcon lightning();
    static QIcon hero();
    // Three bars in the palette's text colour, for the menu button.
    static QIcon menu(const QPalette& palette);
};

} // namespace tarvo::ui
