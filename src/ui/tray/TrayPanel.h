// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QTimer>
#include <QWidget>

class QMimeData;

namespace tarvo::app {
class AppModel;
}

namespace tarvo::ui {

class MenuBarView;

// The small window the tray icon opens (frameless beside the icon where it can place itself): the
// quick commands and the newest records, and the place to drop files for an archive made at once.
// Trays on Linux take no drops themselves.
class TrayPanel : public QWidget
{
public:
    // After the panel loses the focus it stays this long, so that a drag started in another window
    // (which takes the focus) can still reach it.
    static constexpr int kLingerMs = 1500;

    explicit TrayPanel(app::AppModel& model, QWidget* parent = nullptr);

    // Shows the panel next to `anchor` (the icon's area, or the pointer as a point), on the screen;
    // under a compositor that places windows itself, where the compositor puts it.
    void popUp(const QRect& anchor);
    // Compresses the local files among the dropped items at once, without a question, even while a
    // job runs. Says whether there was any.
    bool take(const QMimeData* data);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setDragInside(bool inside);

    app::AppModel& m_model;
    MenuBarView* m_view;
    QTimer m_linger;
    bool m_dragInside = false;
};

} // namespace tarvo::ui
