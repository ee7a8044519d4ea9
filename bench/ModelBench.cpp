// SPDX-License-Identifier: GPL-3.0-or-later

// How the application model behaves under load, measured in one run:
//  - the longest stall of the main thread's event loop while a tool prints 200,000 counted lines,
//    and whether the progress count still ends exact;
//  - the time to construct the model with settings, a history of 40 records and tool lookup.
// Usage: tarvo_model_bench [lines]
#include "FakePlatform.h"
#include "ModelBenchSupport.h"
#include "app/AppModel.h"
#include "app/PreviewModel.h"
#include "engine/tools/ToolLocator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace tarvo;

namespace {

void writeExecutable(const fs::path& path, const std::string& body)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0755);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const long long lines = argc > 1 ? std::atoll(argv[1]) : 200000;
    const fs::path home = bench::makeHome("tarvo-model-bench");
    const fs::path toolDirectory = home / "data/Tarvo/bin";
    const QString settingsFile = QString::fromStdString((home / "config/Tarvo/Tarvo.conf").string());

    // A 7zz that reports one more finished "file" per line (as 7zz -bsp1 does) as fast as the pipe takes them.
    writeExecutable(toolDirectory / "7zz", "prev=''\nfor a; do\n  if [ \"$a\" = -- ]; then dest=$prev; break; fi\n"
                                           "  prev=$a\ndone\nseq -f '0%% %g + f' 1 " +
                                               std::to_string(lines) + "\n: > \"$dest\"\n");
    std::ofstream(home / "input.txt") << "x";

    test::FakePlatform fakes;
    // Nothing here extracts from the preview.
    const auto noExtraction = [](app::WorkRequest) {};
    bool ok = true;
    {
        app::PreviewModel preview(noExtraction);
        app::AppModel model(preview, {fakes.platform(), settingsFile});
        model.setFormat(engine::ArchiveFormat::sevenZip);
        long long highest = 0;
        QObject::connect(&model, &app::AppModel::progressChanged,
                         [&] { highest = std::max(highest, model.progress().done); });

        bench::StallProbe probe;
        model.enqueue({.paths = {home / "input.txt"}, .interactive = false, .action = engine::WorkAction::compress()});
        QObject::connect(&model, &app::AppModel::drained, &application, &QCoreApplication::quit);
        QTimer::singleShot(120000, &application, &QCoreApplication::quit);
        application.exec();
        const double seconds = probe.seconds();
        const double longest = probe.longest();
        std::cout << "job of " << lines << " counted lines: " << seconds << " s, longest event-loop stall " << longest
                  << " ms, final progress " << highest << " of " << lines << "\n";

        // The same ticks handed over one queued call each, without batching: what batching saves.
        QObject receiver;
        long long received = 0;
        bench::StallProbe single;
        std::thread poster([&] {
            for (long long i = 0; i < lines; ++i) {
                QMetaObject::invokeMethod(&receiver, [&] {
                    if (++received == lines) {
                        application.quit();
                    }
                });
            }
        });
        application.exec();
        poster.join();
        std::cout << "unbatched hand-over of the same ticks: " << single.seconds() << " s ("
                  << single.seconds() / seconds << "x the whole job), longest stall " << single.longest() << " ms\n";
        ok = ok && longest < 50.0 && highest == lines;
    }

    // Start-up: the settings file, a full history and the tool lookup are all there to be read.
    bench::writeStartupState(settingsFile);
    std::vector<double> startups;
    std::vector<double> lookups;
    for (int run = 0; run < 21; ++run) {
        QElapsedTimer timer;
        timer.start();
        {
            app::PreviewModel preview(noExtraction);
            app::AppModel model(preview, {fakes.platform(), settingsFile});
            if (model.records().size() != 40) {
                std::cerr << "history not loaded\n";
                ok = false;
            }
            startups.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        timer.restart();
        const auto tools = engine::ToolLocator::rarSupport();
        lookups.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    const double startup = bench::median(startups);
    std::cout << "model start-up: median " << startup << " ms, slowest "
              << *std::max_element(startups.begin(), startups.end()) << " ms (21 runs); of which tool lookup alone "
              << bench::median(lookups) << " ms\n";
    ok = ok && startup < 100.0;

    std::error_code ignored;
    fs::remove_all(home, ignored);
    std::cout << (ok ? "targets met" : "TARGETS MISSED") << "\n";
    return ok ? 0 : 1;
}
