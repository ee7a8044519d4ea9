// SPDX-License-Identifier: GPL-3.0-or-later

#include "Panel.h"

#include "Style.h"

#include <QPainter>

namespace tarvo::ui {

Panel::Panel(QWidget* parent)
    : QWidget(parent)
{}

void Panel::setAccent(bool accent)
{
    if (m_accent != accent) {
        m_accent = accent;
        update();
    }
}

void Panel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintPanel(painter, QRectF(rect()), palette(), m_accent);
}

} // namespace tarvo::ui
