// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

class QLabel;

namespace tarvo::app {
class AppModel;
}

namespace tarvo::ui {

// Who made Tarvo and which version this is.
class AboutWindow : public QWidget
{
public:
    explicit AboutWindow(app::AppModel& model, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void retranslate();

    QLabel* m_name;
    QLabel* m_version;
    QLabel* m_description;
    QLabel* m_developerLabel;
    QLabel* m_contactLabel;
};

} // namespace tarvo::ui
