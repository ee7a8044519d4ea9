// SPDX-License-Identifier: GPL-3.0-or-later

// How fast requests reach Tarvo, measured in one run. Run it under a private session bus and a real X
// server: dbus-run-session --config-file=tests/platform/session.conf -- xvfb-run -a tarvo_intake_bench
//  - a request from tarvo-finder to a running Tarvo: from the helper's start to the request in the
//    receiver's event loop, where handleFinder is called (100 requests: median and slowest);
//  - the helper itself: from its start to its exit, on the signal route and on the launch route;
//  - a cold "tarvo --finder extract A.zip": from exec to its main window being viewable on the X server
//    (11 launches, each with a fresh home).
#include "ModelBenchSupport.h"
#include "platform/freedesktop/RequestBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

double nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

pid_t spawn(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::perror(argv[0]);
        std::exit(1);
    }
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

// Whether a viewable top-level-sized window titled `name` exists anywhere under `window`.
bool viewable(Display* display, Window window, const char* name)
{
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) != 0 && attributes.map_state == IsViewable &&
        attributes.width > 100) {
        char* title = nullptr;
        const bool found =
            XFetchName(display, window, &title) != 0 && title != nullptr && std::strcmp(title, name) == 0;
        if (title != nullptr) {
            XFree(title);
        }
        if (found) {
            return true;
        }
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) {
        return false;
    }
    bool found = false;
    for (unsigned int i = 0; i < count && !found; ++i) {
        found = viewable(display, children[i], name);
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

struct Figures
{
    std::vector<double> values;
    double median() const { return tarvo::bench::median(values); }
    double worst() const { return *std::max_element(values.begin(), values.end()); }
};

void report(const char* what, const Figures& figures, double target, bool& ok)
{
    std::cout << what << ": median " << figures.median() << " ms, slowest " << figures.worst() << " ms ("
              << figures.values.size() << " runs; target " << target << " ms)\n";
    ok = ok && figures.median() < target;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const fs::path home = tarvo::bench::makeHome("tarvo-intake-bench");
    fs::create_directories(home / "run");
    fs::permissions(home / "run", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
    const std::string finder = TARVO_FINDER_EXECUTABLE;
    const std::string tarvo = TARVO_EXECUTABLE;
    std::ofstream(home / "A.zip") << "";
    bool ok = true;

    // The signal route: this process owns the name, as the running Tarvo does.
    {
        tarvo::platform::RequestBus bus(QDBusConnection::sessionBus());
        if (bus.start() != tarvo::platform::RequestBus::Start::owner) {
            std::cerr << "no private session bus of our own: run under dbus-run-session\n";
            return 1;
        }
        double received = 0;
        QObject::connect(&bus, &tarvo::platform::RequestBus::finderRequested, [&received] { received = nowMs(); });
        Figures latency;
        Figures helper;
        for (int i = 0; i < 100; ++i) {
            received = 0;
            std::atomic<double> exited = 0;
            const double started = nowMs();
            std::thread waiter([&] {
                waitFor(spawn({finder, "compress", (home / "A.zip").string()}));
                exited = nowMs();
            });
            const double deadline = started + 5000;
            while ((received == 0 || exited == 0) && nowMs() < deadline) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            }
            waiter.join();
            if (received == 0) {
                std::cerr << "a request never arrived\n";
                return 1;
            }
            latency.values.push_back(received - started);
            helper.values.push_back(exited - started);
        }
        report("tarvo-finder to the running Tarvo's handleFinder", latency, 50, ok);
        report("tarvo-finder's own run, signal route", helper, 20, ok);
    }

    // The launch route: nobody owns the name; a stand-in `tarvo` beside a copy of the helper.
    {
        const fs::path beside = home / "bin";
        fs::create_directories(beside);
        fs::copy_file(finder, beside / "tarvo-finder");
        std::ofstream(beside / "tarvo") << "#!/bin/sh\nexit 0\n";
        fs::permissions(beside / "tarvo", fs::perms::owner_all);
        Figures helper;
        for (int i = 0; i < 100; ++i) {
            const double started = nowMs();
            waitFor(spawn({(beside / "tarvo-finder").string(), "extract", (home / "A.zip").string()}));
            helper.values.push_back(nowMs() - started);
        }
        report("tarvo-finder's own run, launch route", helper, 20, ok);
    }

    // A cold start with a request, as the launch route makes it.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::cerr << "no X server: run under xvfb-run -a\n";
        return 1;
    }
    Figures cold;
    for (int i = 0; i < 11; ++i) {
        const fs::path fresh = home / ("cold" + std::to_string(i));
        setenv("XDG_DATA_HOME", (fresh / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (fresh / "config").c_str(), 1);
        const double started = nowMs();
        const pid_t pid = spawn({tarvo, "--finder", "extract", (home / "A.zip").string()});
        bool shown = false;
        while (!shown && nowMs() < started + 10000) {
            shown = viewable(display, DefaultRootWindow(display), "Tarvo");
            if (!shown) {
                usleep(1000);
            }
        }
        const double elapsed = nowMs() - started;
        kill(pid, SIGTERM);
        waitFor(pid);
        if (!shown) {
            std::cerr << "the window never showed\n";
            return 1;
        }
        cold.values.push_back(elapsed);
    }
    XCloseDisplay(display);
    report("cold tarvo --finder extract A.zip to its window", cold, 500, ok);
    fs::remove_all(home);
    return ok ? 0 : 1;
}
