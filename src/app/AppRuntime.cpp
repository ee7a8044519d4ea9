// SPDX-License-Identifier: GPL-3.0-or-later

#include "AppRuntime.h"

#include "AppModel.h"
#include "PreviewModel.h"
#include "platform/freedesktop/LinuxPlatform.h"

#include <QCoreApplication>
#include <memory>

namespace tarvo::app {

namespace {

struct Runtime
{
    // The preview's model outlives the application model, which presents into it.
    std::unique_ptr<PreviewModel> preview;
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

void makeModels(Runtime& shared)
{
    if (shared.model) {
        return;
    }
    // The preview's extractions go to the application model's queue.
    shared.preview = std::make_unique<PreviewModel>([](WorkRequest request) {
        if (const Runtime& current = runtime(); current.model) {
            current.model->enqueue(std::move(request));
        }
    });
    shared.model = std::make_unique<AppModel>(
        *shared.preview, AppModel::Options{platform::linuxPlatform([] { AppRuntime::openMain(); }), QString()});
}

} // namespace

AppModel& AppRuntime::model()
{
    makeModels(runtime());
    return *runtime().model;
}

PreviewModel& AppRuntime::preview()
{
    makeModels(runtime());
    return *runtime().preview;
}

void AppRuntime::shutdown()
{
    Runtime& shared = runtime();
    shared.model.reset();
    shared.preview.reset();
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
