// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <functional>

namespace tarvo::app {

class AppModel;
class PreviewModel;

// What the whole process shares: the models and the ways to open the windows. Main thread only.
class AppRuntime
{
public:
    // Created together on first use of either, with the desktop's own facilities; they need the
    // application object.
    static AppModel& model();
    static PreviewModel& preview();
    // Deletes the models: their running tools are stopped and their partial output removed first.
    static void shutdown();

    // Each does nothing until the windows install it.
    static void openMain();
    static void openAbout();
    static void openSettings();
    static void setOpeners(std::function<void()> openMain, std::function<void()> openAbout,
                           std::function<void()> openSettings);

    // Whether something other than a window (the tray icon) lets a person reach the application; without
    // it, closing the last window ends the application once the running job is done.
    static bool isReachableWithoutWindows();
    static void setReachableWithoutWindows(bool reachable);

    // Ends the application; a running job is cancelled and cleaned up on the way out.
    static void quit();
};

} // namespace tarvo::app
