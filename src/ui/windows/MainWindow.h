// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class QAction;
class QMessageBox;
class QPushButton;
class QToolButton;

namespace tarvo::app {
class AppModel;
class PreviewModel;
} // namespace tarvo::app

namespace tarvo::ui {

class DropStageView;
class ExtractPreviewDialog;
class HistoryListView;

// What the main window's commands open; the application supplies them.
struct WindowActions
{
    std::function<void()> openSettings;
    std::function<void()> openAbout;
    std::function<void()> quit;
};

// The main window: the toolbar, the drop stage and the history over the background, plus the alert
// whenever the model holds one and the extract preview whenever the preview's model does.
class MainWindow : public QWidget
{
public:
    MainWindow(app::AppModel& model, app::PreviewModel& previewModel, WindowActions actions, QWidget* parent = nullptr);

    DropStageView* stage() const { return m_stage; }
    HistoryListView* history() const { return m_history; }
    ExtractPreviewDialog* preview() const;
    QMessageBox* alert() const;
    // The alert's Settings button, while the alert offers it.
    QPushButton* alertSettingsButton() const;

    // Shows the window and brings it to the front.
    void present();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void retranslate();
    void updateWorking();
    void syncAlert();
    void dropAlert();
    void setAlertMessage(const QString& message);
    void syncPreview();

    app::AppModel& m_model;
    app::PreviewModel& m_previewModel;
    WindowActions m_actions;
    // Made in this order, which is also the order of the keyboard focus: toolbar, stage, history.
    QToolButton* m_compress;
    QToolButton* m_extract;
    QToolButton* m_menuButton;
    DropStageView* m_stage;
    HistoryListView* m_history;
    QAction* m_chooseFiles;
    QAction* m_chooseArchive;
    QAction* m_settings;
    QAction* m_about;
    QAction* m_quit;
    QPointer<ExtractPreviewDialog> m_preview;
    QPointer<QMessageBox> m_alert;
    QPointer<QPushButton> m_alertSettings;
};

} // namespace tarvo::ui
