// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QMenu;
class QSystemTrayIcon;

namespace tarvo::app {
class AppModel;
}

namespace tarvo::ui {

class TrayPanel;

// Owns the tray icon and its panel. The icon is made once a tray host exists; until then the
// controller keeps looking for one for a while (at login the panel may start after Tarvo), and the
// application runs on without it.
class TrayController : public QObject
{
public:
    static constexpr double kBusyOpacity = 0.45;
    static constexpr int kRetryMs = 2000;
    static constexpr int kRetries = 90;

    explicit TrayController(app::AppModel& model, QObject* parent = nullptr);
    ~TrayController() override;

    // Shows the icon now, or starts looking for a tray host.
    void start();
    bool hasIcon() const { return m_icon != nullptr; }

    // The icon's opacity: dimmed while jobs run.
    double iconOpacity() const { return m_opacity; }
    // The icon as the tray shows it now.
    const QIcon& icon() const { return m_iconImage; }

    // A click on the icon: opens the panel near it, or closes it.
    void togglePanel();
    TrayPanel* panel() const;

private:
    void tryShow();
    void updateWorking();
    QRect anchor() const;

    app::AppModel& m_model;
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
    QIcon m_iconImage;
    double m_opacity = 1.0;
    QTimer m_retry;
    int m_attempts = 0;
    QPointer<TrayPanel> m_panel;
};

} // namespace tarvo::ui
