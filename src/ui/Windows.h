#pragma once

#include <QObject>
#include <QPointer>

namespace tarvo::app {
class AppModel;
}

namespace tarvo::ui {

class AboutWindow;
class MainWindow;
class SettingsWindow;

// The application's windows, each made when first opened and kept when closed, so that reopening
// finds it as it was. Installs the process-wide openers.
class Windows : public QObject
{
public:
    explicit Windows(app::AppModel& model, QObject* parent = nullptr);
    ~Windows() override;

    void openMain();
    void openAbout();
    void openSettings();

    MainWindow* mainWindow() const;
    SettingsWindow* settingsWindow() const;
    AboutWindow* aboutWindow() const;

private:
    app::AppModel& m_model;
    QPointer<MainWindow> m_main;
    QPointer<SettingsWindow> m_settings;
    QPointer<AboutWindow> m_about;
};

} // namespace tarvo::ui
