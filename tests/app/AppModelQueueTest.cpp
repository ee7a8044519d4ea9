// SPDX-License-Identifier: GPL-3.0-or-later

#include "ModelTestSupport.h"
#include "engine/history/HistoryStore.h"

#include <fstream>

namespace tarvo::test {
namespace {

using app::AppModel;
using app::Banner;
using engine::ArchiveFormat;
using engine::JobKind;
using engine::WorkAction;
namespace fs = std::filesystem;

std::vector<std::string> lines(const fs::path& file)
{
    std::vector<std::string> result;
    std::ifstream stream(file);
    for (std::string line; std::getline(stream, line);) {
        result.push_back(line);
    }
    return result;
}

TEST_F(ModelTest, QueueRunsJobsOneAtATimeInArrivalOrder)
{
    const fs::path log = installFakeTool("logging-7zz", toolDirectory() / "7zz").string() + ".log";
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        writeFile(work() / name, name);
    }
    auto model = makeModel();
    model->setFormat(ArchiveFormat::sevenZip);
    QSignalSpy workingChanges(model.get(), &AppModel::isWorkingChanged);

    model->enqueue({.paths = {work() / "a.txt"}, .interactive = true, .action = WorkAction::automatic()});
    EXPECT_TRUE(model->isWorking());
    EXPECT_TRUE(fakes.inhibitor->held);
    // Queued while the first runs, one of them from the tray panel (not interactive).
    model->enqueue({.paths = {work() / "b.txt"}, .interactive = false, .action = WorkAction::compress()});
    model->enqueue({.paths = app::localFiles({QUrl(QStringLiteral("https://example.com/c.txt"))}),
                    .interactive = true,
                    .action = WorkAction::compress()});
    model->enqueue({.paths = {work() / "c.txt"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));

    std::vector<std::string> order;
    for (const std::string& line : lines(log)) {
        order.push_back(line.substr(0, line.find(' ')));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"start", "end", "start", "end", "start", "end"}));
    // Newest first; the web address never reached the queue.
    ASSERT_EQ(model->records().size(), 3U);
    EXPECT_EQ(model->records()[0].title, "c.7z");
    EXPECT_EQ(model->records()[1].title, "b.7z");
    EXPECT_EQ(model->records()[2].title, "a.7z");
    // Only the interactive jobs revealed their archives; one drain, one sleep inhibition.
    ASSERT_EQ(fakes.reveal->revealed.size(), 2U);
    EXPECT_EQ(fakes.reveal->revealed[0], QStringList{QString::fromStdString((work() / "a.7z").string())});
    EXPECT_EQ(workingChanges.count(), 2);
    EXPECT_EQ(fakes.inhibitor->begun, 1);
    EXPECT_EQ(fakes.inhibitor->ended, 1);
    EXPECT_FALSE(fakes.inhibitor->held);
    EXPECT_EQ(model->progress().done, 0);
    EXPECT_EQ(model->progress().total, 0);

    // Nothing local: nothing queued, nothing changes.
    model->enqueue({.paths = app::localFiles({QUrl(QStringLiteral("https://example.com/x"))}),
                    .interactive = true,
                    .action = WorkAction::compress()});
    EXPECT_FALSE(model->isWorking());
}

TEST_F(ModelTest, CancellingACompressionLeavesNoTraceAndTheNextJobRuns)
{
    const fs::path log = installFakeTool("logging-7zz", toolDirectory() / "7zz").string() + ".log";
    writeFile(work() / "slow.txt", "x");
    writeFile(work() / "quick.txt", "y");
    auto model = makeModel();
    model->setFormat(ArchiveFormat::sevenZip);

    model->enqueue({.paths = {work() / "slow.txt"}, .interactive = true, .action = WorkAction::compress()});
    model->enqueue({.paths = {work() / "quick.txt"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(spinUntil([&] { return !lines(log).empty(); }));
    EXPECT_EQ(model->banner(), Banner::working(QStringLiteral("Archiving slow")));
    QSignalSpy banners(model.get(), &AppModel::bannerChanged);
    model->cancel();
    ASSERT_TRUE(waitIdle(*model, 20000));

    // The banner went back to idle before the next job took it over.
    ASSERT_GE(banners.count(), 2);
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(model->records()[0].title, "quick.7z");
    EXPECT_FALSE(fs::exists(work() / "slow.7z"));
    EXPECT_TRUE(fs::exists(work() / "quick.7z"));
    for (const auto& name : namesIn(work())) {
        EXPECT_EQ(name.rfind(".tarvo-", 0), std::string::npos) << name;
    }
    EXPECT_TRUE(fakes.notifier->bodies.empty());
    EXPECT_FALSE(alertText(*model));
}

TEST_F(ModelTest, CancellingAnExtractionKeepsTheRecordsAlreadyMade)
{
    TARVO_SKIP_WITHOUT("zip", "unzip");
    const fs::path log = installFakeTool("logging-7zz", toolDirectory() / "7zz").string() + ".log";
    writeFile(work() / "in/a.txt", "a");
    ASSERT_EQ(
        runProgram({"/usr/bin/zip", "-j", (work() / "first.zip").string(), (work() / "in/a.txt").string()}).status, 0);
    writeFile(work() / "slow.7z", "not read: the stand-in only waits");
    auto model = makeModel();

    model->enqueue({.paths = {work() / "first.zip", work() / "slow.7z"},
                    .interactive = true,
                    .action = WorkAction::extractConfirmed({{(work() / "first.zip").string(), ""}})});
    ASSERT_TRUE(spinUntil([&] { return !lines(log).empty(); }));
    EXPECT_EQ(model->banner(), Banner::working(QStringLiteral("Extracting slow.7z")));
    model->cancel();
    ASSERT_TRUE(waitIdle(*model, 20000));

    EXPECT_EQ(model->banner(), Banner::idle());
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(model->records()[0].title, "first");
    EXPECT_TRUE(model->records()[0].succeeded);
    EXPECT_EQ(engine::HistoryStore::load(historyFile()), model->records());
    EXPECT_FALSE(fs::exists(work() / "slow"));
}

TEST_F(ModelTest, SuccessBannerClearsItself2400MillisecondsAfterTheLatestSuccess)
{
    writeFile(work() / "one.txt", "1");
    writeFile(work() / "two.txt", "2");
    auto model = makeModel();

    model->enqueue({.paths = {work() / "one.txt"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("Ready: one.zip")));
    fakes.clock->advance(std::chrono::milliseconds(1000));

    model->enqueue({.paths = {work() / "two.txt"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("Ready: two.zip")));
    fakes.clock->advance(std::chrono::milliseconds(1400)); // the first success's time is up
    EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("Ready: two.zip")));
    fakes.clock->advance(std::chrono::milliseconds(999));
    EXPECT_EQ(model->banner().kind, Banner::Kind::success);
    fakes.clock->advance(std::chrono::milliseconds(1));
    EXPECT_EQ(model->banner(), Banner::idle());

    // A failure stays.
    model->enqueue({.paths = {work() / "missing.txt"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->banner(), Banner::failure(QStringLiteral("There is nothing to archive.")));
    fakes.clock->advance(std::chrono::milliseconds(10000));
    EXPECT_EQ(model->banner().kind, Banner::Kind::failure);
}

TEST_F(ModelTest, FinderIntakeAndOpenPanels)
{
    writeFile(work() / "Notes.txt", "n");
    auto model = makeModel();

    // No path exists: not even the window is shown.
    model->handleFinder(QStringLiteral("compress"), {QStringLiteral("/nonexistent/a"), QString()});
    EXPECT_EQ(fakes.desktop->shown, 0);
    EXPECT_FALSE(model->isWorking());
    {
        // Requests come from other processes: a relative path is not resolved against ours, even
        // where it would name a file.
        const fs::path previous = fs::current_path();
        fs::current_path(work());
        model->handleFinder(QStringLiteral("compress"), {QStringLiteral("Notes.txt")});
        model->open({QStringLiteral("Notes.txt")});
        fs::current_path(previous);
        EXPECT_FALSE(model->isWorking());
    }

    // The desktop file's actions say in the alert why nothing happens.
    model->handleDesktopAction(QStringLiteral("compress"), {});
    EXPECT_EQ(alertText(*model), QStringLiteral("There is nothing to compress."));
    model->handleDesktopAction(QStringLiteral("extract"), {QString::fromStdString((work() / "Notes.txt").string())});
    EXPECT_EQ(alertText(*model), QStringLiteral("That is not a ZIP, RAR, 7Z, or tar.gz archive."));
    model->dismissAlert();
    EXPECT_FALSE(model->isWorking());
    fakes.desktop->shown = 0;

    // Only the exact lower-case "extract" extracts; "Extract" compresses.
    model->handleFinder(QStringLiteral("Extract"),
                        {QStringLiteral("/nonexistent/a"), QString::fromStdString((work() / "Notes.txt").string())});
    EXPECT_EQ(fakes.desktop->shown, 1);
    // Files opened with Tarvo are refused while a job runs, as a drop on the window is.
    model->open({QString::fromStdString((work() / "Notes.txt").string())});
    // A panel is refused while a job runs.
    model->pick(JobKind::compress);
    model->pick(JobKind::extract);
    EXPECT_TRUE(fakes.dialogs->requests.empty());
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_TRUE(fs::exists(work() / "Notes.zip"));
    EXPECT_EQ(model->records().size(), 1U);

    // A cancelled panel changes nothing; a chosen file is compressed.
    model->pick(JobKind::compress);
    ASSERT_EQ(fakes.dialogs->requests.size(), 1U);
    EXPECT_TRUE(fakes.dialogs->requests[0].folders);
    EXPECT_EQ(fakes.dialogs->requests[0].message, QStringLiteral("What to compress"));
    EXPECT_FALSE(model->isWorking());
    fakes.dialogs->answers.push_back(QStringList{QString::fromStdString((work() / "Notes.txt").string())});
    model->pick(JobKind::compress);
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_TRUE(fs::exists(work() / "Notes 2.zip"));

    model->pick(JobKind::extract);
    ASSERT_EQ(fakes.dialogs->requests.size(), 3U);
    EXPECT_FALSE(fakes.dialogs->requests[2].folders);
    EXPECT_EQ(fakes.dialogs->requests[2].acceptLabel, QStringLiteral("Extract"));
    EXPECT_TRUE(fakes.dialogs->requests[2].nameFilters.contains(QStringLiteral("*.7z")));
}

TEST_F(ModelTest, ProgressCountsEveryToolLineExactly)
{
    TARVO_SKIP_WITHOUT("zip", "unzip");
    for (int i = 0; i < 300; ++i) {
        writeFile(work() / "many" / ("f" + std::to_string(i)), "x");
    }
    // Stored as "many/f0" and so on: zip keeps paths as given, so it packs from inside the folder.
    runIn(work(), {"zip", "-r", "-q", "many.zip", "many"});
    auto model = makeModel();
    long long highest = 0;
    long long total = 0;
    QObject::connect(model.get(), &AppModel::progressChanged, [&] {
        if (model->progress().done > 0) {
            highest = std::max(highest, model->progress().done);
            total = model->progress().total;
        }
        EXPECT_LE(model->progressFraction().value_or(0), 0.99);
    });

    // 300 files and their folder: unzip reports each once.
    model->enqueue({.paths = {work() / "many.zip"},
                    .interactive = true,
                    .action = WorkAction::extractConfirmed({{(work() / "many.zip").string(), ""}}),
                    .plannedFiles = 300});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(highest, 301);
    EXPECT_EQ(total, 300);
    EXPECT_FALSE(model->progressFraction());
}

TEST_F(ModelTest, ObservedFieldsNotifyOnlyWhenTheyChange)
{
    auto model = makeModel();
    QSignalSpy names(model.get(), &app::AppModel::archiveNameChanged);
    model->setArchiveName(QStringLiteral("Trip"));
    model->setArchiveName(QStringLiteral("Trip"));
    EXPECT_EQ(names.count(), 1);
    EXPECT_EQ(model->property("archiveName").toString(), QStringLiteral("Trip"));
    EXPECT_TRUE(model->setProperty("skipJunk", false));
    EXPECT_FALSE(model->skipJunk());
}

} // namespace
} // namespace tarvo::test
