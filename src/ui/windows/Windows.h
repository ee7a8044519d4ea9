// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>
#include <QPointer>
#include <QTranslator>

namespace tarvo::app {
class AppModel;
class PreviewModel;
} // namespace tarvo::app

namespace tarvo::ui {

class AboutWindow;
class MainWindow;
class SettingsWindow;

// The application's windows, each made when first opened and kept when closed, so that reopening
// finds it as it was. Installs the process-wide openers.
class Windows : public QObject
{
public:
    Windows(app::AppModel& model, app::PreviewModel& preview, QObject* parent = nullptr);
    ~Windows() override;

    void openMain();
    void openAbout();
    void openSettings();

    MainWindow* mainWindow() const;
    SettingsWindow* settingsWindow() const;
    AboutWindow* aboutWindow() const;

private:
    // Qt's own texts (the open panels, the buttons of standard dialogs, the edit menus) in the
    // interface language, where the system has Qt's translations.
    void loadQtTranslations();

    app::AppModel& m_model;
    app::PreviewModel& m_preview;
    QTranslator m_qtTexts;
    QPointer<MainWindow> m_main;
    QPointer<SettingsWindow> m_settings;
    QPointer<AboutWindow> m_about;
};

} // namespace tarvo::ui
