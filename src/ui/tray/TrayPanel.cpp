// SPDX-License-Identifier: GPL-3.0-or-later

#include "TrayPanel.h"

#include "MenuBarView.h"
#include "app/AppModel.h"
#include "ui/widgets/Style.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace tarvo::ui {

namespace {

bool hasLocalFile(const QMimeData* data)
{
    const QList<QUrl> urls = data != nullptr ? data->urls() : QList<QUrl>();
    return std::any_of(urls.begin(), urls.end(),
                       [](const QUrl& url) { return url.isLocalFile() && !url.toLocalFile().isEmpty(); });
}

// Beside the icon where the panel can place itself. A Wayland compositor places every window, and
// a popup needs the click that opened it, which went to the tray: there the panel is a small window
// of its own that the compositor places and gives the keyboard to.
Qt::WindowFlags panelFlags()
{
    if (compositorPlacesWindows()) {
        return Qt::Window;
    }
    return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
}

} // namespace

TrayPanel::TrayPanel(app::AppModel& model, QWidget* parent)
    : QWidget(parent, panelFlags())
    , m_model(model)
    , m_view(new MenuBarView(model, this))
{
    setObjectName(QStringLiteral("trayPanel"));
    if (compositorPlacesWindows()) {
        setWindowTitle(QStringLiteral("Tarvo"));
    }
    // A tray panel is no window to come back to: closing it never ends the application.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_view);
    m_linger.setSingleShot(true);
    m_linger.setInterval(kLingerMs);
    connect(&m_linger, &QTimer::timeout, this, [this] {
        if (!m_dragInside && !isActiveWindow()) {
            hide();
        }
    });
}

void TrayPanel::popUp(const QRect& anchor)
{
    adjustSize();
    if (compositorPlacesWindows()) {
        bringToFront(this);
        return;
    }
    const QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(QPoint(0, 0), size());
    // Below an icon in a top panel, above one in a bottom panel; centred on it where there is room.
    const bool below = anchor.center().y() < area.center().y();
    QPoint place(anchor.center().x() - width() / 2, below ? anchor.bottom() + 4 : anchor.top() - height() - 4);
    place.setX(std::clamp(place.x(), area.left(), std::max(area.left(), area.right() - width() + 1)));
    place.setY(std::clamp(place.y(), area.top(), std::max(area.top(), area.bottom() - height() + 1)));
    move(place);
    bringToFront(this);
}

bool TrayPanel::take(const QMimeData* data)
{
    if (!hasLocalFile(data)) {
        return false;
    }
    // Only the local files among them reach the queue.
    m_model.enqueue(
        {.paths = app::localFiles(data->urls()), .interactive = false, .action = engine::WorkAction::compress()});
    return true;
}

bool TrayPanel::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate) {
        m_linger.start();
    } else if (event->type() == QEvent::WindowActivate) {
        m_linger.stop();
    }
    return QWidget::event(event);
}

void TrayPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (m_dragInside) {
        paintPanel(painter, QRectF(rect()).adjusted(2, 2, -2, -2), palette(), true);
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TrayPanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TrayPanel::dragEnterEvent(QDragEnterEvent* event)
{
    // Entries dragged out of the preview would be unpacked just to be packed again, in a folder
    // that goes when the preview closes.
    if (event->source() != nullptr || !hasLocalFile(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setDragInside(true);
}

void TrayPanel::dragLeaveEvent(QDragLeaveEvent*)
{
    setDragInside(false);
    if (!isActiveWindow()) {
        m_linger.start();
    }
}

void TrayPanel::dropEvent(QDropEvent* event)
{
    setDragInside(false);
    if (!take(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    hide();
}

void TrayPanel::setDragInside(bool inside)
{
    if (m_dragInside != inside) {
        m_dragInside = inside;
        update();
    }
}

} // namespace tarvo::ui
