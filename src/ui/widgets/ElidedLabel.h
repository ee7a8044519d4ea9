// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLabel>

namespace tarvo::ui {

// A one-line label for names that may be long: it takes any width it is given and shortens the name
// in the middle to fit, with the whole name in its tooltip. Screen readers read the whole name.
// The text is always plain, so a file name can never be read as markup.
class ElidedLabel : public QLabel
{
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setName(const QString& name);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tarvo::ui
