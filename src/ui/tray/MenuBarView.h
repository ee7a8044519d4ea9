// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace tarvo::app {
class AppModel;
}

namespace tarvo::ui {

// The tray panel's content: the state of the current job, the quick commands and the newest records.
class MenuBarView : public QWidget
{
public:
    // The panel lists this many records, the newest.
    static constexpr int kRecordCount = 4;

    explicit MenuBarView(app::AppModel& model, QWidget* parent = nullptr);

    // The record buttons, newest first.
    QList<QPushButton*> recordButtons() const;

private:
    void retranslate();
    void updateBanner();
    void updateRecords();

    app::AppModel& m_model;
    QLabel* m_title;
    QLabel* m_banner;
    QLabel* m_trayNote;
    QPushButton* m_open;
    QPushButton* m_compress;
    QPushButton* m_extract;
    QWidget* m_recordDivider;
    QWidget* m_records;
    QVBoxLayout* m_recordLayout;
    QPushButton* m_about;
    QPushButton* m_settings;
    QPushButton* m_quit;
};

} // namespace tarvo::ui
