// SPDX-License-Identifier: GPL-3.0-or-later

#include "DesktopMain.h"

#include "app/AppModel.h"
#include "app/AppRuntime.h"
#include "engine/Version.h"
#include "engine/l10n/L10n.h"
#include "platform/freedesktop/ColorScheme.h"
#include "platform/freedesktop/RequestBus.h"
#include "ui/tray/TrayController.h"
#include "ui/widgets/Icons.h"
#include "ui/widgets/Style.h"
#include "ui/windows/Windows.h"

#include <QApplication>
#include <QDBusConnection>
#include <QPalette>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tarvo {

using app::AppModel;
using app::AppRuntime;
using app::DesktopRequest;

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

// How long a second tarvo waits for the running one; an owner of the name that hangs must not hang it.
constexpr int kHandOffTimeoutMs = 3000;
// The command-line request reaches the model a moment after launch, once the windows are up.
constexpr int kFinderDelayMs = 300;

QStringList toQt(const std::vector<std::string>& paths)
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(paths.size()));
    for (const std::string& path : paths) {
        list.push_back(QString::fromStdString(path));
    }
    return list;
}

// Hands the request to the running Tarvo; says whether it took it.
bool handOff(const QDBusConnection& bus, const DesktopRequest& request)
{
    using platform::RequestBus;
    switch (request.kind) {
    case DesktopRequest::Kind::none:
        return RequestBus::activate(bus, kHandOffTimeoutMs);
    case DesktopRequest::Kind::open:
        return RequestBus::open(bus, toQt(request.paths), kHandOffTimeoutMs);
    case DesktopRequest::Kind::finder:
        return RequestBus::request(bus,
                                   platform::FinderRequest{QString::fromStdString(request.action), toQt(request.paths)},
                                   kHandOffTimeoutMs);
    }
    return false;
}

// Logging out ends the session's programs with SIGTERM (a terminal sends SIGINT or SIGHUP): Tarvo then
// quits as "Quit Tarvo" does, so that a running tool is stopped and its partial output removed. The
// handler only writes to a pipe; the event loop does the rest.
int g_quitPipe[2] = {-1, -1};

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onQuitSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_quitPipe[1], &byte, 1);
    errno = savedErrno;
}

void quitOnSignals(QObject* owner)
{
    if (::pipe2(g_quitPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(g_quitPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
        char byte = 0;
        while (::read(g_quitPipe[0], &byte, 1) > 0) {
        }
        AppRuntime::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kQuitSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

// Once the event loop has ended nothing reads the pipe: a second signal during the clean-up ends the
// process at once, as a person pressing Ctrl+C twice expects.
void restoreQuitSignals()
{
    for (const int signal : kQuitSignals) {
        ::signal(signal, SIG_DFL);
    }
}

void listen(platform::RequestBus& bus, AppModel& model)
{
    using platform::RequestBus;
    QObject::connect(&bus, &RequestBus::finderRequested, &model, &AppModel::handleFinder);
    QObject::connect(&bus, &RequestBus::desktopActionRequested, &model, &AppModel::handleDesktopAction);
    QObject::connect(&bus, &RequestBus::openRequested, &model, &AppModel::open);
    QObject::connect(&bus, &RequestBus::activationRequested, &model, [] { AppRuntime::openMain(); });
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

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::error_code noFolder;
    const DesktopRequest request = DesktopRequest::parse(arguments, std::filesystem::current_path(noFolder));

    // One Tarvo per session: a second one hands its request over and ends.
    platform::RequestBus bus(QDBusConnection::sessionBus());
    if (bus.start() == platform::RequestBus::Start::anotherRuns && handOff(QDBusConnection::sessionBus(), request)) {
        return 0;
    }

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
        ui::Windows windows(model, AppRuntime::preview());
        listen(bus, model);
        ui::TrayController tray(model);
        tray.start();
        quitOnSignals(&application);
        // Unless the tray icon can bring a window back, the last window closed ends the application,
        // once the running job has finished and been recorded.
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
        if (request.kind == DesktopRequest::Kind::open) {
            model.open(toQt(request.paths));
        } else if (request.kind == DesktopRequest::Kind::finder) {
            QTimer::singleShot(kFinderDelayMs, &model,
                               [&model, action = QString::fromStdString(request.action), paths = toQt(request.paths)] {
                                   model.handleDesktopAction(action, paths);
                               });
        }
        status = application.exec();
        restoreQuitSignals();
        bus.stop();
    }
    AppRuntime::shutdown();
    return status;
}

} // namespace tarvo
