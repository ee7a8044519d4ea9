// SPDX-License-Identifier: GPL-3.0-or-later

#include "ModelTestSupport.h"
#include "engine/history/HistoryStore.h"

#include <sys/stat.h>

namespace tarvo::test {
namespace {

using app::AppModel;
using app::Banner;
using engine::ArchiveFormat;
using engine::ArchiveRecord;
using engine::HistoryStore;
using engine::JobKind;
using engine::WorkAction;
namespace fs = std::filesystem;

void makeZip(const fs::path& archive, const fs::path& file)
{
    ASSERT_EQ(runProgram({"/usr/bin/zip", "-j", "-q", archive.string(), file.string()}).status, 0);
}

TEST_F(ModelTest, CompressingAFolderNamesTheArchiveAfterItAndNeverOverwrites)
{
    writeFile(work() / "Photos/a.jpg", "jpeg");
    auto model = makeModel();
    fakes.desktop->active = false;

    model->enqueue({.paths = {work() / "Photos"}, .interactive = true, .action = WorkAction::automatic()});
    ASSERT_TRUE(waitIdle(*model));
    // From a file manager or a shell, with a trailing slash: still beside the folder.
    model->handleFinder(QStringLiteral("compress"), {QString::fromStdString((work() / "Photos").string() + "/")});
    ASSERT_TRUE(waitIdle(*model));

    EXPECT_TRUE(fs::is_regular_file(work() / "Photos.zip"));
    EXPECT_TRUE(fs::is_regular_file(work() / "Photos 2.zip"));
    ASSERT_EQ(model->records().size(), 2U);
    const ArchiveRecord& newest = model->records()[0];
    EXPECT_EQ(newest.kind, JobKind::compress);
    EXPECT_EQ(newest.format, ArchiveFormat::zip);
    EXPECT_EQ(newest.title, "Photos 2.zip");
    EXPECT_EQ(newest.outputPath, (work() / "Photos 2.zip").string());
    EXPECT_TRUE(newest.succeeded);
    EXPECT_EQ(HistoryStore::load(historyFile()), model->records());
    EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("Ready: Photos 2.zip")));
    // In the background each success is announced.
    EXPECT_EQ(fakes.notifier->bodies,
              (std::vector<QString>{QStringLiteral("Ready: Photos.zip"), QStringLiteral("Ready: Photos 2.zip")}));
    EXPECT_FALSE(alertText(*model));
}

// With the setting on, a new archive is tested; one that fails is kept, and the alert and the
// record say so.
TEST_F(ModelTest, VerifyingKeepsADamagedArchiveAndSaysSo)
{
    writeFile(work() / "a.txt", "a");
    writeScript(toolDirectory() / "7zz", "[ \"$1\" = t ] && { echo 'ERROR: CRC Failed : a.txt'; exit 2; }\n"
                                         "prev=''; for a; do [ \"$a\" = -- ] && { echo broken > \"$prev\"; break; }; "
                                         "prev=$a; done\n");
    auto model = makeModel();
    model->setVerifyAfterCreating(true);
    model->enqueue({.paths = {work() / "a.txt"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_TRUE(model->records()[0].succeeded);
    EXPECT_FALSE(alertText(*model));

    model->setFormat(ArchiveFormat::sevenZip);
    model->enqueue({.paths = {work() / "a.txt"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_EQ(model->records().size(), 2U);
    EXPECT_FALSE(model->records()[0].succeeded);
    EXPECT_EQ(model->records()[0].outputPath, (work() / "a.7z").string());
    EXPECT_TRUE(fs::exists(work() / "a.7z"));
    EXPECT_EQ(alertText(*model), QStringLiteral("The archive was made, but its test found damage. Damaged: a.txt."));
    EXPECT_TRUE(makeModel()->verifyAfterCreating()) << "the setting was not kept";
}

TEST_F(ModelTest, DestinationPanelChoosesTheFolderOrCancelsTheJobQuietly)
{
    writeFile(work() / "in/report.txt", "r");
    fs::create_directories(work() / "elsewhere");
    auto model = makeModel();
    model->setAskForDestination(true);
    model->setArchiveName(QStringLiteral("Quarterly: Q1"));

    // Cancelled: no banner change, no record, no file.
    model->enqueue({.paths = {work() / "in/report.txt"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_EQ(fakes.dialogs->requests.size(), 1U);
    EXPECT_EQ(fakes.dialogs->requests[0].startDirectory, QString::fromStdString((work() / "in").string()));
    EXPECT_FALSE(fakes.dialogs->requests[0].files);
    EXPECT_EQ(model->banner(), Banner::idle());
    EXPECT_TRUE(model->records().empty());
    EXPECT_FALSE(fs::exists(historyFile()));
    EXPECT_EQ(namesIn(work() / "in"), std::vector<std::string>{"report.txt"});

    fakes.dialogs->answers.push_back(QStringList{QString::fromStdString((work() / "elsewhere").string())});
    QSignalSpy banners(model.get(), &AppModel::bannerChanged);
    model->enqueue({.paths = {work() / "in/report.txt"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    // The typed name, cleaned, labels the banner and names the archive.
    ASSERT_GE(banners.count(), 2);
    EXPECT_EQ(namesIn(work() / "elsewhere"), std::vector<std::string>{"Quarterly- Q1.zip"});

    // A job from the tray panel never asks.
    model->enqueue({.paths = {work() / "in/report.txt"}, .interactive = false, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(fakes.dialogs->requests.size(), 2U);
    EXPECT_TRUE(fs::exists(work() / "in/Quarterly- Q1.zip"));
}

// A request waiting in the queue keeps the name and password of the moment it was made; what is typed
// afterwards is for the next one.
TEST_F(ModelTest, AWaitingCompressionKeepsTheNameAndPasswordTypedWhenItWasQueued)
{
    TARVO_SKIP_WITHOUT("zip", "unzip");
    writeFile(work() / "a.txt", "a");
    writeFile(work() / "b.txt", "b");
    auto model = makeModel();
    model->setZipEncryption(engine::ZipEncryption::zipCrypto); // which unzip reads back
    model->enqueue({.paths = {work() / "a.txt"}, .interactive = false, .action = WorkAction::compress()});
    ASSERT_TRUE(model->isWorking());
    model->setArchiveName(QStringLiteral("Trip"));
    model->setArchivePassword(QStringLiteral("secret"));
    model->enqueue({.paths = {work() / "b.txt"}, .interactive = false, .action = WorkAction::compress()});
    model->setArchiveName(QStringLiteral("Other"));
    model->setArchivePassword(QStringLiteral("changed"));
    ASSERT_TRUE(waitIdle(*model));

    EXPECT_EQ(namesIn(work()), (std::vector<std::string>{"Trip.zip", "a.txt", "a.zip", "b.txt"}));
    const std::string archive = (work() / "Trip.zip").string();
    EXPECT_EQ(runProgram({"/usr/bin/unzip", "-P", "secret", "-p", archive, "b.txt"}).output, "b");
    EXPECT_NE(runProgram({"/usr/bin/unzip", "-P", "changed", "-p", archive, "b.txt"}).status, 0);
}

TEST_F(ModelTest, HistoryKeepsTheFortyNewestRecords)
{
    std::vector<ArchiveRecord> old;
    for (int i = 0; i < 40; ++i) {
        old.push_back(
            ArchiveRecord::make(JobKind::extract, ArchiveFormat::rar, "old " + std::to_string(i), "/x", true));
    }
    ASSERT_TRUE(HistoryStore::save(old, historyFile()));
    writeFile(work() / "new.txt", "n");
    auto model = makeModel();
    ASSERT_EQ(model->records(), old);

    model->enqueue({.paths = {work() / "new.txt"}, .interactive = false, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    const auto saved = HistoryStore::load(historyFile());
    ASSERT_EQ(saved.size(), 40U);
    EXPECT_EQ(saved, model->records());
    EXPECT_EQ(saved.front().title, "new.zip");
    EXPECT_EQ(saved.back().title, "old 38");
}

TEST_F(ModelTest, ExtractionRecordsEachArchiveAndReportsTheFirstFailure)
{
    TARVO_SKIP_WITHOUT("zip", "unzip");
    writeFile(work() / "src/one.txt", "1");
    writeFile(work() / "src/three.txt", "3");
    makeZip(work() / "first.zip", work() / "src/one.txt");
    writeFile(work() / "second.zip", "this is not a zip archive");
    makeZip(work() / "third.zip", work() / "src/three.txt");
    auto model = makeModel();

    model->enqueue(
        {.paths = {work() / "first.zip", work() / "second.zip", work() / "third.zip", work() / "src/one.txt"},
         .interactive = true,
         .action = WorkAction::extractConfirmed({})});
    ASSERT_TRUE(waitIdle(*model));

    ASSERT_EQ(model->records().size(), 3U);
    EXPECT_EQ(model->records()[2].title, "first");
    EXPECT_TRUE(model->records()[2].succeeded);
    EXPECT_EQ(model->records()[1].title, "second.zip");
    EXPECT_EQ(model->records()[1].outputPath, (work() / "second.zip").string());
    EXPECT_FALSE(model->records()[1].succeeded);
    EXPECT_EQ(model->records()[0].title, "third");
    EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("Ready: first")));
    ASSERT_TRUE(alertText(*model));
    EXPECT_FALSE(alertText(*model)->isEmpty());
    EXPECT_FALSE(model->alert()->offersRarInstall);
    ASSERT_EQ(fakes.reveal->revealed.size(), 1U);
    EXPECT_EQ(fakes.reveal->revealed[0].size(), 2);
    EXPECT_EQ(readFile(work() / "first/one.txt"), "1");

    // One archive that fails: its own record and the job's.
    fakes.desktop->active = false;
    model->dismissAlert();
    model->enqueue({.paths = {work() / "second.zip"}, .interactive = true, .action = WorkAction::extractConfirmed({})});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_EQ(model->records().size(), 5U);
    EXPECT_FALSE(model->records()[0].succeeded);
    EXPECT_FALSE(model->records()[1].succeeded);
    EXPECT_EQ(model->records()[0].kind, JobKind::extract);
    EXPECT_EQ(model->banner().kind, Banner::Kind::failure);
    ASSERT_TRUE(alertText(*model));
    EXPECT_EQ(*alertText(*model), model->banner().text);
    ASSERT_EQ(fakes.notifier->bodies.size(), 1U);
    EXPECT_EQ(fakes.notifier->bodies[0], model->banner().text);

    // Tool words that do not name the archive are led by its name.
    writeFile(work() / "fourth.tar.xz", "not a tarball either");
    model->enqueue(
        {.paths = {work() / "fourth.tar.xz"}, .interactive = true, .action = WorkAction::extractConfirmed({})});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(alertText(*model));
    EXPECT_TRUE(alertText(*model)->startsWith(QStringLiteral("fourth.tar.xz: bsdtar: ")))
        << alertText(*model)->toStdString();

    // A pipe in the archive is left out of the result, and the person is told.
    model->dismissAlert();
    ASSERT_EQ(::mkfifo((work() / "src/pipe").c_str(), 0600), 0);
    ASSERT_EQ(runProgram({"/usr/bin/bsdtar", "-C", (work() / "src").string(), "-cJf",
                          (work() / "fifth.tar.xz").string(), "pipe", "one.txt"})
                  .status,
              0);
    model->enqueue(
        {.paths = {work() / "fifth.tar.xz"}, .interactive = true, .action = WorkAction::extractConfirmed({})});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(alertText(*model));
    EXPECT_EQ(*alertText(*model), QStringLiteral("Special files left out (pipes, sockets, devices): 1."));
    EXPECT_EQ(readFile(work() / "fifth/one.txt"), "1");
    EXPECT_FALSE(fs::exists(fs::symlink_status(work() / "fifth/pipe")));
}

// "Test with Tarvo" reads each archive through: a damaged one is named with its verdict in the alert,
// nothing is written beside the archives and nothing goes into the history. A protected one opens in
// the preview, which asks for its password.
TEST_F(ModelTest, FinderTestNamesTheDamagedArchiveWritesNothingAndRecordsNothing)
{
    TARVO_SKIP_WITHOUT("zip", "unzip");
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "line " + std::to_string(i * 7919 % 100003) + " of the report\n";
    }
    const fs::path source = m_home / "report.txt";
    writeFile(source, text);
    // Stored, so that bytes turned in the middle of the file land in the member's data.
    ASSERT_EQ(runProgram({"/usr/bin/zip", "-0", "-j", "-q", (work() / "sound.zip").string(), source.string()}).status,
              0);
    std::string bytes = readFile(work() / "sound.zip");
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ 0x55);
    }
    writeFile(work() / "damaged.zip", bytes);
    fs::copy_file(work() / "sound.zip", work() / "also sound.zip");
    ASSERT_EQ(
        runProgram({"/usr/bin/zip", "-P", "secret", "-j", "-q", (work() / "locked.zip").string(), source.string()})
            .status,
        0);
    writeFile(work() / "notes.txt", "n");
    const auto path = [this](const char* name) { return QString::fromStdString((work() / name).string()); };
    const std::vector<std::string> before = namesIn(work());
    auto model = makeModel();

    model->handleFinder(QStringLiteral("test"), {path("sound.zip"), path("damaged.zip")});
    EXPECT_EQ(fakes.desktop->shown, 1);
    EXPECT_TRUE(model->isWorking());
    ASSERT_TRUE(waitIdle(*model));
    const QString damaged = QStringLiteral("damaged.zip: Damaged: report.txt.");
    EXPECT_EQ(alertText(*model), damaged);
    EXPECT_EQ(model->banner(), Banner::failure(damaged));

    model->dismissAlert();
    model->handleFinder(QStringLiteral("test"), {path("sound.zip")});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("No errors found.")));
    model->handleFinder(QStringLiteral("test"), {path("sound.zip"), path("also sound.zip")});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("No errors found in any of the archives.")));
    EXPECT_FALSE(alertText(*model));

    // As for extracting: a selection without an archive is said in the alert.
    model->handleDesktopAction(QStringLiteral("test"), {path("notes.txt")});
    EXPECT_EQ(alertText(*model), QStringLiteral("That is not a ZIP, RAR, 7Z, or tar.gz archive."));
    EXPECT_FALSE(model->isWorking());
    model->dismissAlert();

    model->handleFinder(QStringLiteral("test"), {path("locked.zip")});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_FALSE(alertText(*model));
    ASSERT_TRUE(preview().extractPreview());
    ASSERT_EQ(preview().extractPreview()->items.size(), 1U);
    EXPECT_EQ(preview().extractPreview()->items[0].url, work() / "locked.zip");
    EXPECT_TRUE(preview().extractPreview()->items[0].needsPassword);
    EXPECT_EQ(preview().notice(), QStringLiteral("Enter the password for the protected archive."));

    EXPECT_TRUE(model->records().empty());
    EXPECT_FALSE(fs::exists(historyFile()));
    EXPECT_EQ(namesIn(work()), before);
}

TEST_F(ModelTest, MissingToolsOfferTheSettingsOnlyToAPersonWaiting)
{
    writeFile(work() / "a.txt", "a");
    auto model = makeModel();
    if (model->tools().creator) {
        GTEST_SKIP() << "rar is installed here";
    }
    model->setFormat(ArchiveFormat::rar);

    model->enqueue({.paths = {work() / "a.txt"}, .interactive = false, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_FALSE(alertText(*model));
    ASSERT_EQ(model->records().size(), 1U);
    EXPECT_EQ(model->records()[0].format, ArchiveFormat::rar);
    EXPECT_EQ(model->records()[0].title, "a.txt");
    EXPECT_EQ(model->banner().kind, Banner::Kind::failure);

    model->enqueue({.paths = {work() / "a.txt"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(alertText(*model));
    EXPECT_TRUE(model->alert()->offersRarInstall);
    EXPECT_EQ(*alertText(*model), model->banner().text);

    // An extraction request with no archive among its items fails as an extraction.
    model->enqueue({.paths = {work() / "a.txt"}, .interactive = true, .action = WorkAction::extractConfirmed({})});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->records()[0].kind, JobKind::extract);
    EXPECT_EQ(model->records()[0].format, ArchiveFormat::rar); // the model's format
    ASSERT_TRUE(model->alert());
    EXPECT_FALSE(model->alert()->offersRarInstall);
}

// The part size set reaches the tools of ZIP and 7Z, and the banner and the history name the first part;
// tar.gz, which no tool cuts, is made whole.
TEST_F(ModelTest, NewArchivesAreCutIntoPartsOfTheSizeSet)
{
    TARVO_SKIP_WITHOUT("7zz", "zip");
    writeFile(work() / "Big/noise.bin", noise(250'000));
    auto model = makeModel();
    model->setVolumeSize(100'000);
    for (const ArchiveFormat format : {ArchiveFormat::sevenZip, ArchiveFormat::zip, ArchiveFormat::tarGz}) {
        model->setFormat(format);
        model->enqueue({.paths = {work() / "Big"}, .interactive = false, .action = WorkAction::compress()});
        ASSERT_TRUE(waitIdle(*model));
        ASSERT_FALSE(model->records().empty());
        const ArchiveRecord& made = model->records()[0];
        ASSERT_TRUE(made.succeeded) << model->banner().text.toStdString();
        const fs::path first = made.outputPath;
        EXPECT_EQ(made.title, first.filename().string());
        EXPECT_EQ(model->banner(), Banner::success(QStringLiteral("Ready: ") + QString::fromStdString(made.title)));
        int parts = 0;
        for (const auto& file : fs::directory_iterator(work())) {
            const std::string name = file.path().filename().string();
            parts += name.starts_with("Big.") && fs::file_size(file.path()) <= 100'000 ? 1 : 0;
        }
        if (format == ArchiveFormat::tarGz) {
            EXPECT_EQ(made.title, "Big.tar.gz");
            EXPECT_GT(fs::file_size(first), 100'000U);
        } else {
            EXPECT_GE(parts, 3) << made.title;
        }
        for (const auto& file : fs::directory_iterator(work())) {
            if (file.path().filename().string().starts_with("Big.")) {
                fs::remove(file.path());
            }
        }
    }
}

} // namespace
} // namespace tarvo::test
