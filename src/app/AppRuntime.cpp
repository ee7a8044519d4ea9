#include "AppRuntime.h"

#include "AppModel.h"
#include "platform/freedesktop/LinuxPlatform.h"

#include <QCoreApplication>
#include <memory>

namespace tarvo::app {

namespace {

struct Runtime
{
    std::unique_ptr<AppModel> model;
    std::function<void()> openMain;
    std::function<void()> openAbout;
    std::function<void()> openSettings;
    bool reachableWithoutWindows = false;
};

Runtime& runtime()
{
    static Runtime instance;
    return instance;
}

void call(const std::function<void()>& opener)
{
    if (opener) {
        opener();
    }
}

} // namespace

AppModel& AppRuntime::model()
{
    Runtime& shared = runtime();
    if (!shared.model) {
        shared.model = std::make_unique<AppModel>(
            AppModel::Options{platform::linuxPlatform([] { AppRuntime::openMain(); }), QString()});
    }
    return *shared.model;
}

void AppRuntime::shutdown()
{
    runtime().model.reset();
}

void AppRuntime::openMain()
{
    call(runtime().openMain);
}

void AppRuntime::openAbout()
{
    call(runtime().openAbout);
}

void AppRuntime::openSettings()
{
    call(runtime().openSettings);
}

void AppRuntime::setOpeners(std::function<void()> openMain, std::function<void()> openAbout,
                            std::function<void()> openSettings)
{
    Runtime& shared = runtime();
    shared.openMain = std::move(openMain);
    shared.openAbout = std::move(openAbout);
    shared.openSettings = std::move(openSettings);
}

bool AppRuntime::isReachableWithoutWindows()
{
    return runtime().reachableWithoutWindows;
}

void AppRuntime::setReachableWithoutWindows(bool reachable)
{
    runtime().reachableWithoutWindows = reachable;
}

void AppRuntime::quit()
{
    if (Runtime& shared = runtime(); shared.model) {
        shared.model->cancel();
    }
    QCoreApplication::quit();
}

} // namespace tarvo::app
