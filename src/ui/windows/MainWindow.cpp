// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindow.h"

#include "DropStageView.h"
#include "app/AppModel.h"
#include "app/PreviewModel.h"
#include "engine/l10n/L10n.h"
#include "ui/historylist/HistoryListView.h"
#include "ui/preview/ExtractPreviewDialog.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Style.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarvo::ui {

using engine::Text;

namespace {

constexpr QSize kDefaultSize(760, 640);

QToolButton* makeToolButton(QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setIconSize(QSize(20, 20));
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

MainWindow::MainWindow(app::AppModel& model, app::PreviewModel& previewModel, WindowActions actions, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_previewModel(previewModel)
    , m_actions(std::move(actions))
    , m_compress(makeToolButton(this))
    , m_extract(makeToolButton(this))
    , m_menuButton(makeToolButton(this))
    , m_stage(new DropStageView(model, this))
    , m_history(new HistoryListView(model, this))
    , m_chooseFiles(new QAction(this))
    , m_chooseArchive(new QAction(this))
    , m_settings(new QAction(this))
    , m_about(new QAction(this))
    , m_quit(new QAction(this))
{
    setWindowIcon(Icons::application());
    resize(kDefaultSize);

    m_compress->setIcon(Icons::symbol("archivebox"));
    m_extract->setIcon(Icons::symbol("arrow.down.doc"));
    m_menuButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_menuButton->setIcon(Icons::menu(palette()));
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    auto* menu = new QMenu(this);
    m_chooseFiles->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    m_chooseArchive->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_chooseFiles->setIcon(Icons::symbol("archivebox"));
    m_chooseArchive->setIcon(Icons::symbol("arrow.down.doc"));
    menu->addAction(m_chooseFiles);
    menu->addAction(m_chooseArchive);
    menu->addSeparator();
    menu->addAction(m_settings);
    menu->addAction(m_about);
    menu->addSeparator();
    menu->addAction(m_quit);
    m_menuButton->setMenu(menu);
    // The shortcuts work whether or not the menu is open.
    addActions({m_chooseFiles, m_chooseArchive, m_settings, m_quit});

    auto* toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(10, 8, 10, 0);
    toolbar->setSpacing(4);
    toolbar->addWidget(m_compress);
    toolbar->addWidget(m_extract);
    toolbar->addStretch();
    toolbar->addWidget(m_menuButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(toolbar);
    layout->addSpacing(12);
    layout->addWidget(m_stage);
    layout->addSpacing(6);
    layout->addWidget(m_history, 1);

    using app::AppModel;
    const auto pickFiles = [this] { m_model.pick(engine::JobKind::compress); };
    const auto pickArchives = [this] { m_model.pick(engine::JobKind::extract); };
    connect(m_compress, &QToolButton::clicked, &m_model, pickFiles);
    connect(m_extract, &QToolButton::clicked, &m_model, pickArchives);
    connect(m_chooseFiles, &QAction::triggered, &m_model, pickFiles);
    connect(m_chooseArchive, &QAction::triggered, &m_model, pickArchives);
    connect(m_settings, &QAction::triggered, this,
            [this] { m_actions.openSettings ? m_actions.openSettings() : void(); });
    connect(m_about, &QAction::triggered, this, [this] { m_actions.openAbout ? m_actions.openAbout() : void(); });
    connect(m_quit, &QAction::triggered, this, [this] { m_actions.quit ? m_actions.quit() : void(); });
    connect(&m_model, &AppModel::isWorkingChanged, this, &MainWindow::updateWorking);
    connect(&m_model, &AppModel::alertChanged, this, &MainWindow::syncAlert);
    connect(&m_previewModel, &app::PreviewModel::extractPreviewChanged, this, &MainWindow::syncPreview);
    connect(&m_model, &AppModel::languageChanged, this, &MainWindow::retranslate);
    retranslate();
    updateWorking();
}

ExtractPreviewDialog* MainWindow::preview() const
{
    return m_preview;
}

QMessageBox* MainWindow::alert() const
{
    return m_alert;
}

QPushButton* MainWindow::alertSettingsButton() const
{
    return m_alertSettings;
}

void MainWindow::present()
{
    bringToFront(this);
}

void MainWindow::retranslate()
{
    setWindowTitle(text(engine::L10n::localized("Tarvo", "Tarvo")));
    m_compress->setText(text(Text::compress));
    m_compress->setToolTip(text(Text::chooseFilesAndMakeArchive));
    m_compress->setAccessibleDescription(text(Text::chooseFilesAndMakeArchive));
    m_extract->setText(text(Text::extract));
    m_extract->setToolTip(text(Text::chooseArchiveAndExtract));
    m_extract->setAccessibleDescription(text(Text::chooseArchiveAndExtract));
    m_menuButton->setToolTip(text(Text::menu));
    m_menuButton->setAccessibleName(text(Text::menu));
    m_chooseFiles->setText(text(Text::chooseFilesAndMakeArchive));
    m_chooseArchive->setText(text(Text::chooseArchiveAndExtract));
    m_settings->setText(text(Text::settings));
    m_about->setText(text(Text::about));
    m_quit->setText(text(Text::quitTarvo));
    if (m_alert) {
        // Only the frame is retranslated: the message keeps the language it was built in.
        m_alert->setWindowTitle(text(Text::somethingWentWrong));
        m_alert->setText(text(Text::somethingWentWrong));
        if (QAbstractButton* ok = m_alert->button(QMessageBox::Ok)) {
            ok->setText(text(Text::ok));
        }
        if (m_alertSettings) {
            m_alertSettings->setText(text(Text::settings));
        }
    }
}

void MainWindow::updateWorking()
{
    const bool idle = !m_model.isWorking();
    for (QToolButton* button : {m_compress, m_extract}) {
        button->setEnabled(idle);
    }
    m_chooseFiles->setEnabled(idle);
    m_chooseArchive->setEnabled(idle);
}

void MainWindow::syncAlert()
{
    const std::optional<app::AppModel::Alert>& wanted = m_model.alert();
    if (!wanted) {
        dropAlert();
        return;
    }
    // A failure must be seen: the window it belongs to comes forward. (Showing it runs this again
    // from the show event, which raises the alert.)
    if (!isVisible()) {
        present();
        return;
    }
    const bool offersSettings = wanted->offersRarInstall;
    if (m_alert && (m_alertSettings != nullptr) != offersSettings) {
        dropAlert();
    }
    if (!m_alert) {
        QWidget* over = m_preview && m_preview->isVisible() ? static_cast<QWidget*>(m_preview) : this;
        m_alert = new QMessageBox(QMessageBox::Warning, text(Text::somethingWentWrong), text(Text::somethingWentWrong),
                                  QMessageBox::Ok, over);
        m_alert->setWindowModality(Qt::WindowModal);
        m_alert->setTextFormat(Qt::PlainText);
        m_alert->setEscapeButton(QMessageBox::Ok);
        m_alertSettings = offersSettings ? m_alert->addButton(text(Text::settings), QMessageBox::ActionRole) : nullptr;
        if (QAbstractButton* ok = m_alert->button(QMessageBox::Ok)) {
            ok->setText(text(Text::ok));
        }
        connect(m_alert, &QMessageBox::finished, this, [this] {
            const bool settings = m_alertSettings && m_alert->clickedButton() == m_alertSettings;
            m_alert->deleteLater();
            m_alert = nullptr;
            m_alertSettings = nullptr;
            m_model.dismissAlert();
            if (settings && m_actions.openSettings) {
                m_actions.openSettings();
            }
        });
        setAlertMessage(wanted->text);
        m_alert->open();
    } else {
        setAlertMessage(wanted->text);
    }
}

void MainWindow::setAlertMessage(const QString& message)
{
    m_alert->setInformativeText(message);
    // The message may name files: never markup. (Qt's message box offers no format for this label.)
    if (auto* informative = m_alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setTextFormat(Qt::PlainText);
    }
}

void MainWindow::dropAlert()
{
    if (m_alert) {
        m_alert->disconnect(this);
        m_alert->close();
        m_alert->deleteLater();
        m_alert = nullptr;
        m_alertSettings = nullptr;
    }
}

void MainWindow::syncPreview()
{
    if (m_previewModel.extractPreview()) {
        if (m_preview) {
            return;
        }
        // The preview waits for an answer: the window it belongs to comes forward. (Showing it runs
        // this again from the show event, which makes the dialog.)
        if (!isVisible()) {
            present();
            return;
        }
        m_preview = new ExtractPreviewDialog(m_previewModel, this);
        m_preview->setAttribute(Qt::WA_DeleteOnClose);
        m_preview->rememberSize(m_model.previewSize(), [&model = m_model](QSize size) { model.setPreviewSize(size); });
        m_preview->open();
        // Over the middle of this window, once it is mapped: a window manager may have placed it by a
        // size it had while its sections were being made. (A compositor places it by its parent.)
        QTimer::singleShot(0, m_preview, [this] {
            if (compositorPlacesWindows()) {
                return;
            }
            if (m_preview) {
                m_preview->move(frameGeometry().center() - m_preview->rect().center());
            }
        });
    } else if (m_preview) {
        m_preview->close();
        m_preview = nullptr;
    }
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    syncAlert();
    syncPreview();
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        m_menuButton->setIcon(Icons::menu(palette()));
    }
}

void MainWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const bool dark = isDark(palette());
    QColor top = gradientColor();
    top.setAlphaF(dark ? 0.24f : 0.42f);
    QColor bottom = gradientColor();
    bottom.setAlphaF(0.0f);
    QLinearGradient gradient(0, 0, width() * 0.25, height());
    gradient.setColorAt(0.0, top);
    gradient.setColorAt(0.7, bottom);
    painter.fillRect(rect(), gradient);
    // The hero image is decoration only: painted here, it is no widget, takes no clicks and is
    // invisible to screen readers.
    const int side = std::min(280, height() / 2);
    painter.setOpacity(dark ? 0.35 : 0.45);
    Icons::hero().paint(&painter, QRect(width() - side * 7 / 10, 36, side, side));
}

} // namespace tarvo::ui
