// The application model announcing its jobs through the real notifier to a fake notification server.
#include "FakePlatform.h"
#include "TaskRunner.h"
#include "TestBus.h"
#include "TestSupport.h"
#include "app/AppModel.h"
#include "app/PreviewModel.h"
#include "platform/freedesktop/DBusNotifier.h"

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

namespace fs = std::filesystem;

TEST(ModelNotifications, OnlyWhileAnotherApplicationIsActive)
{
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    if (auto reason = sessionBusUnusable(name)) {
        GTEST_SKIP() << reason->toStdString();
    }
    TempDir home;
    ScopedEnv data("XDG_DATA_HOME", (home / "data").string());
    ScopedEnv language("LANGUAGE", std::string("en"));
    writeFile(home / "a.txt", "a");
    FakePlatform fakes;
    platform::Platform platform = fakes.platform();
    platform.notifier = std::make_shared<platform::DBusNotifier>();
    app::PreviewModel preview([](app::WorkRequest) {});
    app::AppModel model(preview, {platform, QString::fromStdString((home / "Tarvo.conf").string())});
    FakeService server(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("notifications")),
                       name, QStringLiteral("/org/freedesktop/Notifications"),
                       [](const QDBusMessage&) { return QVariantList{1u}; });
    ASSERT_TRUE(server.registered());
    const auto runJob = [&](const fs::path& item) {
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
    EXPECT_EQ(server.calls[0].arguments()[3], "Tarvo");
    EXPECT_EQ(server.calls[0].arguments()[4], "Ready: a 2.zip");
    EXPECT_EQ(server.calls[1].arguments()[4], "There is nothing to archive.");
}

} // namespace
} // namespace tarvo::test
