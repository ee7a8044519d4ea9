// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/vocabulary/ArchiveFormat.h"

#include <QWidget>

class QButtonGroup;

namespace tarvo::ui {

// The segmented format control: ZIP, RAR, 7Z, tar.gz side by side, one of them chosen.
class FormatPicker : public QWidget
{
    Q_OBJECT

public:
    explicit FormatPicker(QWidget* parent = nullptr);
    // Shows a format without announcing it.
    void setFormat(engine::ArchiveFormat format);

Q_SIGNALS:
    // Only the user's choices.
    void chosen(engine::ArchiveFormat format);

private:
    QButtonGroup* m_group;
};

} // namespace tarvo::ui
