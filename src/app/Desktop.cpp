#include "Desktop.h"

#include "AppModel.h"
#include "AppRuntime.h"
#include "ColorScheme.h"
#include "Icons.h"
#include "L10n.h"
#include "Style.h"
#include "Version.h"
#include "Windows.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarvo::app {

namespace {

QtMessageHandler g_defaultHandler = nullptr;

void sayNoDisplay()
{
    const std::string line = engine::L10n::text(engine::Text::noDisplay) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

// While the application object connects to the display. Qt gives up on a display it cannot reach
// with a fatal message and an abort: say it in one line instead, and leave with status 1.
void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg) {
        sayNoDisplay();
        std::_Exit(1);
    }
    // The platform plugin's complaints are either harmless or followed by the fatal message above.
    if (context.category != nullptr && std::strncmp(context.category, "qt.qpa", 6) == 0) {
        return;
    }
    g_defaultHandler(type, context, message);
}

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool mayHaveDisplay()
{
    // A platform chosen by hand (offscreen, vnc) needs no display variable: Qt decides.
    return isSet("QT_QPA_PLATFORM") || isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

} // namespace

int runDesktop(int argc, char** argv)
{
    if (!mayHaveDisplay()) {
        sayNoDisplay();
        return 1;
    }
    g_defaultHandler = qInstallMessageHandler(startupMessages);
    QApplication application(argc, argv);
    qInstallMessageHandler(g_defaultHandler);

    QApplication::setOrganizationName(QStringLiteral("Tarvo"));
    QApplication::setApplicationName(QStringLiteral("Tarvo"));
    QApplication::setApplicationVersion(QString::fromUtf8(engine::kVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tarvo.app"));
    QApplication::setWindowIcon(ui::Icons::application());
    // The model and its jobs outlive the windows.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!ui::isDark(QApplication::palette()) && platform::prefersDarkColors()) {
        QApplication::setPalette(ui::darkPalette());
    }

    AppModel& model = AppRuntime::model();
    int status = 0;
    {
        ui::Windows windows(model);
        // Until something else can bring a window back (the tray), the last window closed ends the
        // application, once the running job has finished and been recorded.
        const auto quitIfUnreachable = [] {
            if (AppRuntime::isReachableWithoutWindows()) {
                return;
            }
            // The application's own windows count; an open panel or a menu belongs to one of them.
            for (const QWidget* window : QApplication::topLevelWidgets()) {
                if (window->isVisible() && window->parentWidget() == nullptr &&
                    window->testAttribute(Qt::WA_QuitOnClose)) {
                    return;
                }
            }
            QCoreApplication::quit();
        };
        QObject::connect(&application, &QGuiApplication::lastWindowClosed, &application, [&model, quitIfUnreachable] {
            if (model.isWorking()) {
                QObject::connect(&model, &AppModel::drained, qApp, quitIfUnreachable, Qt::SingleShotConnection);
            } else {
                quitIfUnreachable();
            }
        });
        windows.openMain();
        status = application.exec();
    }
    AppRuntime::shutdown();
    return status;
}

} // namespace tarvo::app
