// SPDX-License-Identifier: GPL-3.0-or-later

#include "TrayController.h"

#include "TrayPanel.h"
#include "app/AppModel.h"
#include "app/AppRuntime.h"
#include "engine/l10n/L10n.h"
#include "ui/widgets/Icons.h"

#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

namespace tarvo::ui {

namespace {

// The lightning at every size a tray asks for, at the given opacity. Drawn rather than dimmed by
// the tray, which has no such notion.
QIcon trayIcon(double opacity)
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setOpacity(opacity);
        Icons::lightning().paint(&painter, pixmap.rect());
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString text(engine::Text key)
{
    return QString::fromStdString(engine::L10n::text(key));
}

} // namespace

TrayController::TrayController(app::AppModel& model, QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_iconImage(trayIcon(1.0))
{
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &TrayController::tryShow);
    connect(&m_model, &app::AppModel::isWorkingChanged, this, &TrayController::updateWorking);
    updateWorking();
}

TrayController::~TrayController()
{
    delete m_panel;
    // The icon refers to its menu until it is gone.
    delete m_icon;
    delete m_menu;
}

void TrayController::start()
{
    tryShow();
    if (m_icon == nullptr) {
        m_retry.start();
    }
}

void TrayController::tryShow()
{
    if (m_icon != nullptr || !QSystemTrayIcon::isSystemTrayAvailable()) {
        if (m_icon == nullptr && ++m_attempts >= kRetries) {
            m_retry.stop();
        }
        return;
    }
    m_retry.stop();
    m_icon = new QSystemTrayIcon(m_iconImage, this);
    m_icon->setToolTip(QStringLiteral("Tarvo"));
    // Some trays open only a menu on a click; the menu reaches the same places.
    m_menu = new QMenu;
    QAction* open = m_menu->addAction(QString());
    QAction* quit = m_menu->addAction(QString());
    const auto retranslate = [open, quit] {
        open->setText(text(engine::Text::openTarvo));
        quit->setText(text(engine::Text::quitTarvo));
    };
    retranslate();
    connect(&m_model, &app::AppModel::languageChanged, m_menu, retranslate);
    connect(open, &QAction::triggered, this, [] { app::AppRuntime::openMain(); });
    connect(quit, &QAction::triggered, this, [] { app::AppRuntime::quit(); });
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            togglePanel();
        }
    });
    m_icon->show();
    // Closing the last window no longer ends the application: the icon brings it back.
    app::AppRuntime::setReachableWithoutWindows(true);
}

void TrayController::togglePanel()
{
    if (m_panel != nullptr && m_panel->isVisible()) {
        m_panel->hide();
        return;
    }
    if (m_panel == nullptr) {
        m_panel = new TrayPanel(m_model);
    }
    m_panel->popUp(anchor());
}

TrayPanel* TrayController::panel() const
{
    return m_panel;
}

QRect TrayController::anchor() const
{
    // An XEmbed tray knows where the icon is; a StatusNotifier host does not say, and the pointer that
    // just clicked it is the next best place.
    if (m_icon != nullptr && m_icon->geometry().isValid() && !m_icon->geometry().isEmpty()) {
        return m_icon->geometry();
    }
    return {QCursor::pos(), QSize(1, 1)};
}

void TrayController::updateWorking()
{
    const double opacity = m_model.isWorking() ? kBusyOpacity : 1.0;
    if (opacity == m_opacity) {
        return;
    }
    m_opacity = opacity;
    m_iconImage = trayIcon(opacity);
    if (m_icon != nullptr) {
        m_icon->setIcon(m_iconImage);
    }
}

} // namespace tarvo::ui
