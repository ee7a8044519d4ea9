// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

class QLabel;
class QListView;
class QStackedWidget;
class QToolButton;

namespace tarvo::app {
class AppModel;
}

namespace tarvo::ui {

class HistoryListModel;

// The "Recent" list at the bottom of the main window.
class HistoryListView : public QWidget
{
public:
    explicit HistoryListView(app::AppModel& model, QWidget* parent = nullptr);

    QListView* list() const { return m_list; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void retranslate();
    void updateState();
    void showMenu(const QPoint& position);

    app::AppModel& m_model;
    HistoryListModel* m_rows;
    QLabel* m_header;
    QToolButton* m_clear;
    QStackedWidget* m_stack;
    QLabel* m_emptyIcon;
    QLabel* m_emptyTitle;
    QLabel* m_emptyText;
    QListView* m_list;
    int m_clockTimer = 0;
};

} // namespace tarvo::ui
