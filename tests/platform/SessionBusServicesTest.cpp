// SPDX-License-Identifier: GPL-3.0-or-later

// The notifier, the model's announcements through it, and the file-manager reveal against fake services on a
// private session bus.
#include "FakePlatform.h"
#include "TaskRunner.h"
#include "TestBus.h"
#include "TestSupport.h"
#include "app/AppModel.h"
#include "app/PreviewModel.h"
#include "platform/freedesktop/DBusNotifier.h"
#include "platform/freedesktop/FileManagerReveal.h"

#include <QDBusArgument>
#include <QElapsedTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

const QString kNotifications = "org.freedesktop.Notifications";

// A notification server that answers every call with the id 1.
class Notifications : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (auto reason = sessionBusUnusable(kNotifications)) {
            GTEST_SKIP() << reason->toStdString();
        }
        ASSERT_TRUE(server.registered());
    }

    FakeService server{ownConnection("notifications"), kNotifications, "/org/freedesktop/Notifications",
                       [](const QDBusMessage&) { return QVariantList{1u}; }};
};

TEST_F(Notifications, PostsEveryBodyAsANewNotificationWithoutWaiting)
{
    platform::DBusNotifier notifier;
    QElapsedTimer clock;
    clock.start();
    notifier.deliver("Made “a b.zip”.");
    notifier.deliver("Second");
    // The fake answers on this thread: a blocking call would wait for the bus timeout here.
    EXPECT_LT(clock.elapsed(), 1000);
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 2; }, 5000));
    const QDBusMessage& first = server.calls[0];
    EXPECT_EQ(first.interface() + "." + first.member() + first.signature(),
              kNotifications + ".Notify" + "susssasa{sv}i");
    const QVariantList arguments = first.arguments();
    EXPECT_EQ(arguments.mid(0, 6),
              (QVariantList{"Tarvo", 0u, "com.tarvo.app", "Tarvo", "Made “a b.zip”.", QStringList()}));
    EXPECT_TRUE(qdbus_cast<QVariantMap>(arguments.value(6)).isEmpty());
    EXPECT_EQ(arguments.value(7), -1);
    EXPECT_EQ(server.calls[1].arguments().mid(1, 4), (QVariantList{0u, "com.tarvo.app", "Tarvo", "Second"}));
}

// The application model announcing its jobs through the real notifier.
TEST_F(Notifications, TheModelAnnouncesOnlyWhileAnotherApplicationIsActive)
{
    TempDir home;
    ScopedEnv data("XDG_DATA_HOME", (home / "data").string());
    ScopedEnv language("LANGUAGE", std::string("en"));
    writeFile(home / "a.txt", "a");
    FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    platform.notifier = std::make_shared<platform::DBusNotifier>();
    app::PreviewModel preview([](app::WorkRequest) {});
    app::AppModel model(preview, {platform, QString::fromStdString((home / "Tarvo.conf").string())});
    const auto runJob = [&](const std::filesystem::path& item) {
        model.enqueue({.paths = {item}, .interactive = true, .action = engine::WorkAction::compress()});
        return spinUntil([&] { return !model.isWorking(); }, 60000);
    };

    fakes.desktop->active = true;
    ASSERT_TRUE(runJob(home / "a.txt"));
    fakes.desktop->active = false;
    ASSERT_TRUE(runJob(home / "a.txt"));
    ASSERT_TRUE(runJob(home / "missing.txt"));

    ASSERT_TRUE(spinUntil([&] { return server.calls.size() >= 2; }, 5000));
    spinUntil([] { return false; }, 200); // nothing else arrives
    ASSERT_EQ(server.calls.size(), 2U);
    EXPECT_EQ(server.calls[0].arguments()[4], "Ready: a 2.zip");
    EXPECT_EQ(server.calls[1].arguments()[4], "There is nothing to archive.");
}

TEST(FileManagerReveal, AsksTheFileManagerAndOpensTheFolderWhenNoneAnswers)
{
    const QString name = "org.freedesktop.FileManager1";
    if (auto reason = sessionBusUnusable(name)) {
        GTEST_SKIP() << reason->toStdString();
    }
    const QString base = "/srv/out"; // need not exist
    std::vector<QUrl> opened;
    platform::FileManagerReveal reveal([&](const QUrl& url) { opened.push_back(url); });
    {
        FakeService server(ownConnection("file-manager"), name, "/org/freedesktop/FileManager1");
        ASSERT_TRUE(server.registered());
        reveal.reveal({base + "/a b#1.zip", base + "/c.txt"});
        ASSERT_TRUE(spinUntil([&] { return !server.calls.empty(); }, 5000));
        EXPECT_EQ(server.calls[0].member(), "ShowItems");
        EXPECT_EQ(server.calls[0].arguments(),
                  (QVariantList{QStringList{"file://" + base + "/a%20b%231.zip", "file://" + base + "/c.txt"}, ""}));
        spinUntil([] { return false; }, 200);
        EXPECT_TRUE(opened.empty()) << "the folder was opened although the file manager answered";
    }
    QElapsedTimer clock;
    clock.start();
    reveal.reveal({base + "/x.zip"});
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(opened.empty()); // only once the bus has said that nobody is there
    ASSERT_TRUE(spinUntil([&] { return !opened.empty(); }, 5000));
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(base)});
}

} // namespace
} // namespace tarvo::test
