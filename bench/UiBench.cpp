// SPDX-License-Identifier: GPL-3.0-or-later

// How the windows behave, measured in one run (run it under a real X server: xvfb-run -a):
//  - start-up: from exec of a fresh process to the main window's first paint, with settings, a history of
//    40 records and the tool lookup to load (median of 11 launches);
//  - the preview of two archives of 5,000 entries each: from the listing reaching the model to the
//    dialog's first paint;
//  - a language switch with the main window, settings, about and the preview open: the switch and the
//    repaint it causes;
//  - the longest event-loop stall while a tool prints 200,000 counted lines with the window shown and
//    the progress bar repainting.
// Usage: tarvo_ui_bench
#include "BenchSupport.h"
#include "FakePlatform.h"
#include "ModelBenchSupport.h"
#include "app/AppModel.h"
#include "app/AppRuntime.h"
#include "app/EntrySearch.h"
#include "app/PreviewModel.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/tools/ToolLocator.h"
#include "ui/preview/EntryListModel.h"
#include "ui/preview/ExtractPreviewDialog.h"
#include "ui/preview/PreviewSection.h"
#include "ui/windows/MainWindow.h"
#include "ui/windows/Windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace tarvo;

namespace {

long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Calls `done` once, right after the first paint of `widget` has been handled.
class FirstPaint : public QObject
{
public:
    FirstPaint(QWidget* widget, std::function<void()> done)
        : m_done(std::move(done))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_done) {
            watched->removeEventFilter(this);
            // Queued: the paint itself runs first.
            QTimer::singleShot(0, this, [this] {
                auto done = std::move(m_done);
                done();
            });
        }
        return false;
    }

private:
    std::function<void()> m_done;
};

bool run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

// The child of a start-up measurement: what `tarvo` does until its window is painted.
int startupChild(int argc, char** argv, long long launched)
{
    QApplication application(argc, argv);
    app::AppModel& model = app::AppRuntime::model();
    if (model.records().size() != 40) {
        std::cerr << "history not loaded\n";
        return 1;
    }
    {
        ui::Windows windows(model, app::AppRuntime::preview());
        windows.openMain();
        FirstPaint paint(windows.mainWindow(), [launched] {
            std::cout << static_cast<double>(monotonicNanoseconds() - launched) / 1e6 << std::endl;
            QCoreApplication::quit();
        });
        application.exec();
    }
    app::AppRuntime::shutdown();
    return 0;
}

double startupOnce(const char* self)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        std::exit(1);
    }
    const std::string launched = std::to_string(monotonicNanoseconds());
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        execl(self, self, "--startup-child", launched.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    std::string output;
    char buffer[256];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return output.empty() ? 1e9 : std::stod(output);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--startup-child") {
        return startupChild(argc, argv, std::stoll(argv[2]));
    }
    bench::useBuiltLister();
    const fs::path home = bench::makeHome("tarvo-ui-bench");
    setenv("LANGUAGE", "en", 1);
    fs::create_directories(home / "run");
    fs::permissions(home / "run", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
    bool ok = true;

    // Start-up, with everything there to be loaded.
    bench::writeStartupState(QString::fromStdString((home / "config/Tarvo/Tarvo.conf").string()));
    std::vector<double> startups;
    for (int i = 0; i < 11; ++i) {
        startups.push_back(startupOnce(argv[0]));
    }
    const double startup = bench::median(startups);
    std::cout << "start-up to the first paint of the main window: median " << startup << " ms, slowest "
              << *std::max_element(startups.begin(), startups.end()) << " ms (11 launches; target 300 ms)\n";
    ok = ok && startup < 300.0;
    fs::remove(home / "config/Tarvo/Tarvo.conf");

    QApplication application(argc, argv);
    // Two archives of 5,000 entries, listed by the real lister.
    const fs::path files = home / "files";
    fs::create_directories(files / "many");
    for (int i = 0; i < 5000; ++i) {
        std::ofstream(files / "many" / ("photo-" + std::to_string(i) + ".jpg")) << i;
    }
    if (!run("cd '" + files.string() + "' && zip -qr one.zip many && zip -qr two.zip many")) {
        std::cerr << "zip failed\n";
        return 1;
    }
    // A 7-Zip that reports one more finished "file" per line (as 7zz -bsp1 does) as fast as the pipe takes them.
    const fs::path tool = home / "data/Tarvo/bin/7zz";
    fs::create_directories(tool.parent_path());
    std::ofstream(tool) << "#!/bin/sh\nprev=''\nfor a; do\n  if [ \"$a\" = -- ]; then dest=$prev; break; fi\n"
                           "  prev=$a\ndone\nseq -f '0%% %g + f' 1 200000\n: > \"$dest\"\n";
    chmod(tool.c_str(), 0755);

    test::FakePlatform fakes;
    {
        // Nothing here extracts from the preview.
        app::PreviewModel previewModel([](app::WorkRequest) {});
        app::AppModel model(previewModel,
                            {fakes.platform(), QString::fromStdString((home / "config/Tarvo/Tarvo.conf").string())});
        ui::Windows windows(model, previewModel);
        windows.openMain();
        ui::MainWindow* main = windows.mainWindow();
        QElapsedTimer wait;
        wait.start();
        while (!main->isVisible() && wait.elapsed() < 5000) {
            QCoreApplication::processEvents();
        }

        // One archive of 100,000 entries: from the request to the preview's first paint, against the
        // listing alone.
        {
            std::ofstream spec(files / "spec.mtree");
            spec << "#mtree\n";
            for (int i = 0; i < 100000; ++i) {
                spec << "./Folder" << (i / 1000) << "/entry-" << i << ".txt type=file size=0\n";
            }
        }
        if (!run("cd '" + files.string() + "' && bsdtar --format zip -cf big.zip -s ',^\\./,,' @spec.mtree")) {
            std::cerr << "bsdtar failed\n";
            return 1;
        }
        const fs::path big = files / "big.zip";
        std::vector<double> listings;
        std::vector<double> bigPreviews;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer clock;
            clock.start();
            engine::ArchiveCatalog::list({.archive = big, .tools = engine::ToolLocator::rarSupport()});
            listings.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);

            std::unique_ptr<FirstPaint> paint;
            auto connection = QObject::connect(&previewModel, &app::PreviewModel::extractPreviewChanged, [&] {
                if (previewModel.extractPreview() && !paint) {
                    QTimer::singleShot(0, [&] {
                        paint = std::make_unique<FirstPaint>(main->preview(), [&] {
                            bigPreviews.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
                            QCoreApplication::quit();
                        });
                    });
                }
            });
            clock.restart();
            model.enqueue({.paths = {big}, .interactive = true, .action = engine::WorkAction::extract()});
            QTimer::singleShot(60000, &application, &QCoreApplication::quit);
            application.exec();
            QObject::disconnect(connection);
            previewModel.close();
            QCoreApplication::processEvents();
        }
        const double listing = bench::median(listings);
        const double bigPreview = bigPreviews.size() == 5 ? bench::median(bigPreviews) : 1e9;
        std::cout << "preview of 100,000 entries, request to first paint: median " << bigPreview
                  << " ms; the listing alone " << listing << " ms; " << bigPreview / listing << "x (target 1.5x)\n";
        ok = ok && bigPreview < 1.5 * listing;

        // 250,000 and 1,000,000 entries: the request to the preview's first paint (target 800 ms for
        // 250,000), then keystrokes in the archive's search field, each from the text's change to
        // its matches painted (targets 30 ms and 100 ms).
        for (const int count : {250000, 1000000}) {
            {
                std::ofstream spec(files / "huge.mtree");
                spec << "#mtree\n";
                for (int i = 0; i < count; ++i) {
                    spec << "./reports/" << (2000 + i / 50000) << "/dept-" << (i / 500) << "/q" << (i % 4 + 1) << "-"
                         << i << ".pdf type=file size=0\n";
                }
            }
            if (!run("cd '" + files.string() + "' && bsdtar --format zip -cf huge.zip -s ',^\\./,,' @huge.mtree")) {
                std::cerr << "bsdtar failed\n";
                return 1;
            }
            std::vector<double> paints;
            // Events are spun here rather than by exec: the application's quit would close the preview.
            bool done = false;
            const auto spin = [&](int milliseconds) {
                QElapsedTimer waited;
                waited.start();
                while (!done && waited.elapsed() < milliseconds) {
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
                }
                done = false;
            };
            for (int i = 0; i < (count > 250000 ? 1 : 5); ++i) {
                QElapsedTimer clock;
                std::unique_ptr<FirstPaint> paint;
                auto connection = QObject::connect(&previewModel, &app::PreviewModel::extractPreviewChanged, [&] {
                    if (previewModel.extractPreview() && !paint) {
                        QTimer::singleShot(0, [&] {
                            paint = std::make_unique<FirstPaint>(main->preview(), [&] {
                                paints.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
                                done = true;
                            });
                        });
                    }
                });
                clock.start();
                model.enqueue(
                    {.paths = {files / "huge.zip"}, .interactive = true, .action = engine::WorkAction::extract()});
                spin(120000);
                QObject::disconnect(connection);
                if (i + 1 < (count > 250000 ? 1 : 5)) {
                    previewModel.close();
                    QCoreApplication::processEvents();
                }
            }
            for (int wait = 0; wait < 500 && (!main->preview() || main->preview()->sections().empty()); ++wait) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            if (!main->preview() || main->preview()->sections().empty()) {
                std::cerr << "no preview of " << count << " entries (" << paints.size() << " paints, model preview "
                          << previewModel.extractPreview().has_value() << ", dialog " << (main->preview() != nullptr)
                          << ", banner " << model.banner().text.toStdString() << ")\n";
                return 1;
            }
            ui::PreviewSection* section = main->preview()->sections().front();
            auto* rows = static_cast<ui::EntryListModel*>(section->entries()->model());
            std::vector<double> keystrokes;
            std::string typed;
            for (const char* text : {"q", "q3", "q3-", "q3-1", "q3-12", "q3-123", "2024/dept-5", "*-7?.pdf", ""}) {
                QElapsedTimer clock;
                std::unique_ptr<FirstPaint> paint;
                auto connection = QObject::connect(&rows->search(), &app::EntrySearch::matchesChanged, [&] {
                    paint = std::make_unique<FirstPaint>(section->entries()->viewport(), [&] {
                        keystrokes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
                        done = true;
                    });
                });
                clock.start();
                section->findField()->setText(QString::fromUtf8(text));
                spin(10000);
                QObject::disconnect(connection);
                typed += std::string(" \"") + text + "\" " + std::to_string(rows->rowCount()) + " rows " +
                         std::to_string(static_cast<int>(keystrokes.empty() ? -1 : keystrokes.back())) + " ms";
            }
            previewModel.close();
            QCoreApplication::processEvents();
            const double first = bench::median(paints);
            const double slowest = *std::max_element(keystrokes.begin(), keystrokes.end());
            const double target = count > 250000 ? 100.0 : 30.0;
            std::cout << "preview of " << count << " entries: request to first paint median " << first
                      << " ms (target 800 ms for 250000); search keystrokes, change to matches painted: median "
                      << bench::median(keystrokes) << " ms, slowest " << slowest << " ms (target " << target
                      << " ms); rows shown:" << typed << "\n";
            ok = ok && slowest < target && (count > 250000 || first < 800.0);
        }

        std::vector<double> previews;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer clock;
            std::unique_ptr<FirstPaint> paint;
            auto connection = QObject::connect(&previewModel, &app::PreviewModel::extractPreviewChanged, [&] {
                if (previewModel.extractPreview() && !paint) {
                    clock.start();
                    // The dialog is made by the same signal; watch it once it exists.
                    QTimer::singleShot(0, [&] {
                        paint = std::make_unique<FirstPaint>(main->preview(), [&] {
                            previews.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
                            QCoreApplication::quit();
                        });
                    });
                }
            });
            model.enqueue({.paths = {files / "one.zip", files / "two.zip"},
                           .interactive = true,
                           .action = engine::WorkAction::extract()});
            QTimer::singleShot(60000, &application, &QCoreApplication::quit);
            application.exec();
            QObject::disconnect(connection);
            if (i + 1 < 5) {
                previewModel.close();
                QCoreApplication::processEvents();
            }
        }
        const double preview = previews.empty() ? 1e9 : bench::median(previews);
        std::cout << "preview of 2 x 5,000 entries, listing to first paint: median " << preview << " ms over "
                  << previews.size() << " runs (target 100 ms)\n";
        ok = ok && previews.size() == 5 && preview < 100.0;

        // A language switch with every window open.
        windows.openSettings();
        windows.openAbout();
        QCoreApplication::processEvents();
        std::vector<double> switches;
        const auto languages = engine::AppLanguage::allCases();
        for (int round = 0; round < 3; ++round) {
            for (const engine::AppLanguage language : languages) {
                QElapsedTimer clock;
                clock.start();
                model.setLanguage(language);
                QCoreApplication::processEvents();
                switches.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            }
        }
        const double slowest = *std::max_element(switches.begin(), switches.end());
        std::cout << "language switch with main window, settings, about and preview open: median "
                  << bench::median(switches) << " ms, slowest " << slowest << " ms (" << switches.size()
                  << " switches; target 50 ms)\n";
        ok = ok && slowest < 50.0;
        model.setLanguage(engine::AppLanguage::english);
        previewModel.close();
        QCoreApplication::processEvents();

        // A chatty tool with the window shown.
        model.setFormat(engine::ArchiveFormat::sevenZip);
        long long highest = 0;
        QObject::connect(&model, &app::AppModel::progressChanged,
                         [&] { highest = std::max(highest, model.progress().done); });
        QObject::connect(&model, &app::AppModel::drained, &application, &QCoreApplication::quit);
        std::ofstream(files / "input.txt") << "x";
        bench::StallProbe probe;
        model.enqueue({.paths = {files / "input.txt"}, .interactive = false, .action = engine::WorkAction::compress()});
        QTimer::singleShot(120000, &application, &QCoreApplication::quit);
        application.exec();
        std::cout << "200,000 progress lines with the window shown: longest event-loop stall " << probe.longest()
                  << " ms, progress reached " << highest << " (target 50 ms)\n";
        ok = ok && probe.longest() < 50.0 && highest == 200000;
    }

    std::error_code ignored;
    fs::remove_all(home, ignored);
    std::cout << (ok ? "targets met" : "TARGETS MISSED") << "\n";
    return ok ? 0 : 1;
}
