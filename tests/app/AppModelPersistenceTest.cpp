// SPDX-License-Identifier: GPL-3.0-or-later

#include "ModelTestSupport.h"
#include "engine/history/HistoryStore.h"
#include "engine/l10n/L10n.h"

#include <QDirIterator>
#include <QSettings>
#include <csignal>
#include <sys/resource.h>

namespace tarvo::test {
namespace {

using app::AppModel;
using engine::AppLanguage;
using engine::ArchiveFormat;
using engine::ArchiveRecord;
using engine::CompressionLevel;
using engine::HistoryStore;
using engine::JobKind;
using engine::WorkAction;
namespace fs = std::filesystem;

const QStringList kAllKeys{"tarvo.ask",
                           "tarvo.format",
                           "tarvo.language",
                           "tarvo.level",
                           "tarvo.reveal",
                           "tarvo.skipJunk",
                           "tarvo.verifyAfterCreating",
                           "tarvo.volumeSize",
                           "tarvo.zipEncryption"};

TEST_F(ModelTest, SettingsFallBackToDefaultsAndAreWrittenOnlyOnceReady)
{
    {
        QSettings stored(settingsFile(), QSettings::IniFormat);
        stored.setValue("tarvo.format", "ZIP");
        stored.setValue("tarvo.level", "max");
        stored.setValue("tarvo.language", "de");
        stored.setValue("tarvo.skipJunk", false);
        stored.setValue("tarvo.reveal", "false");
        stored.setValue("tarvo.zipEncryption", "AES");
        stored.setValue("tarvo.volumeSize", "a lot");
    }
    auto model = makeModel();
    EXPECT_EQ(model->format(), ArchiveFormat::zip);
    EXPECT_EQ(model->level(), CompressionLevel::normal);
    EXPECT_EQ(model->language(), tarvo::test::languageNamed("de"));
    EXPECT_EQ(engine::L10n::language(), tarvo::test::languageNamed("de"));
    EXPECT_FALSE(model->skipJunk());
    EXPECT_FALSE(model->revealInFinder());
    EXPECT_FALSE(model->askForDestination()); // absent: the default
    EXPECT_EQ(model->zipEncryption(), engine::ZipEncryption::aes256);
    EXPECT_EQ(model->volumeSize(), 0U);
    // Loading wrote nothing back: the unusable values are still there.
    EXPECT_EQ(QSettings(settingsFile(), QSettings::IniFormat).value("tarvo.format").toString(), "ZIP");
    model->setLanguage(AppLanguage::english());

    // A fresh installation has no keys until a setting changes.
    fs::remove(fs::path(settingsFile().toStdString()));
    model = makeModel();
    EXPECT_TRUE(model->skipJunk());
    EXPECT_TRUE(model->revealInFinder());
    EXPECT_EQ(model->language(), AppLanguage::english()); // LANGUAGE=en
    EXPECT_FALSE(fs::exists(settingsFile().toStdString()));

    // Assigning the current level still writes them all; the current language writes nothing.
    model->setLanguage(AppLanguage::english());
    EXPECT_FALSE(fs::exists(settingsFile().toStdString()));
    QSignalSpy levelChanges(model.get(), &AppModel::levelChanged);
    model->setLevel(CompressionLevel::normal);
    EXPECT_EQ(levelChanges.count(), 0);
    QSettings written(settingsFile(), QSettings::IniFormat);
    QStringList keys = written.allKeys();
    keys.sort();
    EXPECT_EQ(keys, kAllKeys);
    EXPECT_EQ(written.value("tarvo.level").toString(), "normal");
    EXPECT_EQ(written.value("tarvo.language").toString(), "en");

    model->setFormat(ArchiveFormat::tarGz);
    model->setSkipJunk(false);
    model->setZipEncryption(engine::ZipEncryption::zipCrypto);
    model->setVolumeSize(4'294'967'295);
    model = makeModel();
    EXPECT_EQ(model->format(), ArchiveFormat::tarGz);
    EXPECT_FALSE(model->skipJunk());
    EXPECT_EQ(model->zipEncryption(), engine::ZipEncryption::zipCrypto);
    EXPECT_EQ(model->volumeSize(), 4'294'967'295U);
}

TEST_F(ModelTest, AFailedSettingsWriteLeavesThePreviousFileWhole)
{
    auto model = makeModel();
    model->setFormat(ArchiveFormat::sevenZip);
    const std::string previous = readFile(settingsFile().toStdString());
    ASSERT_NE(previous.find("7z"), std::string::npos);

    // A file size limit makes the write itself fail, for root too.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limit = saved;
    limit.rlim_cur = 16;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    model->setFormat(ArchiveFormat::tarGz);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(readFile(settingsFile().toStdString()), previous);
    EXPECT_EQ(namesIn(fs::path(settingsFile().toStdString()).parent_path()), std::vector<std::string>{"Tarvo.conf"});
    // The next write that can succeed does.
    model->setSkipJunk(true);
    EXPECT_EQ(makeModel()->format(), ArchiveFormat::tarGz);
}

TEST_F(ModelTest, HistoryFileIsLoadedRemovedFromAndCleared)
{
    const auto first = ArchiveRecord::make(JobKind::compress, ArchiveFormat::sevenZip, "a.7z", "/a.7z", true);
    const auto second = ArchiveRecord::make(JobKind::extract, ArchiveFormat::tarGz, "b", "/b", false);
    ASSERT_TRUE(HistoryStore::save({first, second, first}, historyFile()));
    auto model = makeModel();
    ASSERT_EQ(model->records().size(), 3U);

    model->remove(first);
    EXPECT_EQ(model->records(), std::vector<ArchiveRecord>{second});
    EXPECT_EQ(HistoryStore::load(historyFile()), model->records());
    model->clearHistory();
    EXPECT_TRUE(model->records().empty());
    EXPECT_EQ(readFile(historyFile()), "[]");
}

TEST_F(ModelTest, AnUnreadableHistoryStartsEmptyAndIsKeptForRecovery)
{
    const std::string foreign = R"([{"id":"x","kind":"compress","format":"tgz"}])";
    writeFile(historyFile(), foreign);
    writeFile(work() / "a.txt", "a");
    auto model = makeModel();
    EXPECT_TRUE(model->records().empty());
    EXPECT_EQ(readFile(historyFile()), foreign); // untouched until the first save

    model->enqueue({.paths = {work() / "a.txt"}, .interactive = false, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(HistoryStore::load(historyFile()).size(), 1U);
    EXPECT_EQ(readFile(historyFile().string() + ".bad"), foreign);
}

TEST_F(ModelTest, LoginItemFollowsWhatTheSystemReports)
{
    fakes.loginItem->statusWhenEnabled = platform::LoginItem::Status::requiresApproval;
    auto model = makeModel();
    EXPECT_FALSE(model->launchAtLogin());

    model->setLaunchAtLogin(true);
    EXPECT_TRUE(model->launchAtLogin());
    EXPECT_EQ(model->loginNote(), QStringLiteral("Allow it in System Settings → General → Login Items."));
    model->setLanguage(tarvo::test::languageNamed("ru"));
    EXPECT_EQ(model->loginNote(),
              QStringLiteral("Разрешите запуск в Системных настройках → Основные → Объекты входа."));
    model->setLaunchAtLogin(false);
    EXPECT_FALSE(model->launchAtLogin());
    EXPECT_FALSE(model->loginNote());

    // A failure shows the system's words and the switch shows the real state.
    fakes.loginItem->failure = QStringLiteral("Read-only file system");
    model->setLaunchAtLogin(true);
    EXPECT_FALSE(model->launchAtLogin());
    ASSERT_EQ(alertText(*model), QStringLiteral("Read-only file system"));
    EXPECT_FALSE(model->alert()->offersRarInstall);
}

// Everything the model writes or says, searched for the archive password.
TEST_F(ModelTest, ThePasswordNeverLeavesTheJob)
{
    TARVO_SKIP_WITHOUT("zip", "unzip", "lsar");
    const QString password = QStringLiteral("Pw-9f3k-unique");
    writeFile(work() / "Secret/plan.txt", "plan");
    // A 7zz that repeats its command line, password included, and fails.
    fs::create_directories(toolDirectory());
    writeScript(toolDirectory() / "7zz", "echo \"7zz $*\" >&2\nIFS= read -r p\necho \"read $p\" >&2\nexit 2\n");
    auto model = makeModel();
    fakes.desktop->active = false;
    std::vector<QString> texts;
    auto keep = [&] {
        texts.push_back(model->banner().text);
        texts.push_back(alertText(*model).value_or(QString()));
        texts.push_back(preview().notice().value_or(QString()));
    };
    QObject::connect(model.get(), &AppModel::bannerChanged, keep);
    QObject::connect(model.get(), &AppModel::alertChanged, keep);
    QObject::connect(&preview(), &app::PreviewModel::noticeChanged, keep);

    model->setArchivePassword(password);
    model->setFormat(ArchiveFormat::sevenZip); // writes the settings
    model->enqueue({.paths = {work() / "Secret"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(alertText(*model));
    // 7-Zip reads it from standard input, not from its command line; echoed back, it is masked.
    EXPECT_TRUE(alertText(*model)->contains(QStringLiteral("-p -mhe=on")));
    EXPECT_TRUE(alertText(*model)->contains(QStringLiteral("read \u2022\u2022\u2022\u2022")))
        << alertText(*model)->toStdString();

    // zip, which asks for it on its terminal.
    model->setFormat(ArchiveFormat::zip);
    model->setZipEncryption(engine::ZipEncryption::zipCrypto);
    model->enqueue({.paths = {work() / "Secret"}, .interactive = true, .action = WorkAction::compress()});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(fs::exists(work() / "Secret.zip"));

    // A wrong password typed in the preview, on listing and on extraction.
    model->enqueue({.paths = {work() / "Secret.zip"}, .interactive = true, .action = WorkAction::extract()});
    ASSERT_TRUE(waitIdle(*model));
    ASSERT_TRUE(preview().extractPreview());
    const auto item = preview().extractPreview()->items.front();
    ASSERT_TRUE(item.needsPassword);
    preview().setPassword(item.id, password + "x");
    preview().refreshListing(item.id);
    ASSERT_TRUE(spinUntil([&] { return !preview().listingID(); }));
    preview().confirmExtract();
    ASSERT_TRUE(waitIdle(*model));
    EXPECT_EQ(model->banner().text, QStringLiteral("Wrong password."));
    EXPECT_GE(model->records().size(), 2U);

    for (const QString& text : texts) {
        EXPECT_FALSE(text.contains(password)) << text.toStdString();
    }
    for (const QString& body : fakes.notifier->bodies) {
        EXPECT_FALSE(body.contains(password)) << body.toStdString();
    }
    int searched = 0;
    QDirIterator files(QString::fromStdString(m_home.string()), QDir::Files | QDir::Hidden,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        if (file.endsWith(".zip") || file.contains("/work/Secret")) {
            continue; // the archive itself and the files packed
        }
        ++searched;
        EXPECT_EQ(readFile(file.toStdString()).find(password.toStdString()), std::string::npos) << file.toStdString();
    }
    EXPECT_GE(searched, 2); // the settings and the history at least
}

} // namespace
} // namespace tarvo::test
