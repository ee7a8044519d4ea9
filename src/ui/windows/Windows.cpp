// SPDX-License-Identifier: GPL-3.0-or-later

#include "Windows.h"

#include "AboutWindow.h"
#include "MainWindow.h"
#include "SettingsWindow.h"
#include "app/AppModel.h"
#include "app/AppRuntime.h"
#include "ui/widgets/Style.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QWindow>

namespace tarvo::ui {

namespace {

void present(QWidget* window, const QWidget* over = nullptr)
{
    const bool overVisible = over != nullptr && over->isVisible();
    if (compositorPlacesWindows()) {
        // The compositor puts a window with a transient parent over that parent.
        if (!window->isVisible()) {
            window->winId();
            window->windowHandle()->setTransientParent(overVisible ? over->windowHandle() : nullptr);
        }
    } else if (!window->isVisible() && !window->testAttribute(Qt::WA_WState_ExplicitShowHide) && overVisible) {
        // A window opened for the first time comes up over the main window, not in a corner.
        window->move(over->frameGeometry().center() - window->rect().center());
    }
    bringToFront(window);
}

} // namespace

Windows::Windows(app::AppModel& model, app::PreviewModel& preview, QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_preview(preview)
{
    app::AppRuntime::setOpeners([this] { openMain(); }, [this] { openAbout(); }, [this] { openSettings(); });
    connect(&m_model, &app::AppModel::languageChanged, this, &Windows::loadQtTranslations);
    loadQtTranslations();
}

void Windows::loadQtTranslations()
{
    QCoreApplication::removeTranslator(&m_qtTexts);
    const std::string_view code = m_model.language().rawValue();
    // Qt's Chinese is filed under its region.
    const QString name =
        code == "zh" ? QStringLiteral("zh_CN") : QString::fromUtf8(code.data(), static_cast<qsizetype>(code.size()));
    if (m_qtTexts.load(QStringLiteral("qtbase_") + name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&m_qtTexts);
    }
}

Windows::~Windows()
{
    QCoreApplication::removeTranslator(&m_qtTexts);
    app::AppRuntime::setOpeners({}, {}, {});
    delete m_about;
    delete m_settings;
    delete m_main;
}

MainWindow* Windows::mainWindow() const
{
    return m_main;
}

SettingsWindow* Windows::settingsWindow() const
{
    return m_settings;
}

AboutWindow* Windows::aboutWindow() const
{
    return m_about;
}

void Windows::openMain()
{
    if (!m_main) {
        m_main = new MainWindow(m_model, m_preview,
                                {[this] { openSettings(); }, [this] { openAbout(); }, [] { app::AppRuntime::quit(); }});
    }
    m_main->present();
}

void Windows::openAbout()
{
    if (!m_about) {
        m_about = new AboutWindow(m_model);
    }
    present(m_about, m_main);
}

void Windows::openSettings()
{
    if (!m_settings) {
        m_settings = new SettingsWindow(m_model, [this] { openAbout(); });
    }
    present(m_settings, m_main);
}

} // namespace tarvo::ui
