// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

namespace tarvo::ui {

// A frosted, rounded card that holds other controls.
class Panel : public QWidget
{
public:
    explicit Panel(QWidget* parent = nullptr);
    void setAccent(bool accent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_accent = false;
};

} // namespace tarvo::ui
