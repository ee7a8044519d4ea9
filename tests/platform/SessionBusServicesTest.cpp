// The notifier and the file-manager reveal against fake services on a private session bus.
#include "TaskRunner.h"
#include "TestBus.h"
#include "platform/freedesktop/DBusNotifier.h"
#include "platform/freedesktop/FileManagerReveal.h"

#include <QDBusArgument>
#include <QElapsedTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

QDBusConnection ownConnection(const char* name)
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QString::fromLatin1(name));
}

TEST(DBusNotifier, PostsEveryBodyAsANewNotificationWithoutWaiting)
{
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    if (auto reason = sessionBusUnusable(name)) {
        GTEST_SKIP() << reason->toStdString();
    }
    platform::DBusNotifier notifier;
    FakeService server(ownConnection("notifications"), name, QStringLiteral("/org/freedesktop/Notifications"),
                       [](const QDBusMessage&) { return QVariantList{1u}; });
    ASSERT_TRUE(server.registered());
    QElapsedTimer clock;
    clock.start();
    notifier.deliver(QStringLiteral("Made “a b.zip”."));
    notifier.deliver(QStringLiteral("Second"));
    // The fake answers on this thread: a blocking call would wait for the bus timeout here.
    EXPECT_LT(clock.elapsed(), 1000);
    ASSERT_TRUE(spinUntil([&] { return server.calls.size() == 2; }, 5000));
    const QDBusMessage& first = server.calls[0];
    EXPECT_EQ(first.interface() + "." + first.member() + first.signature(), name + ".Notify" + "susssasa{sv}i");
    const QVariantList arguments = first.arguments();
    EXPECT_EQ(arguments.mid(0, 6),
              (QVariantList{"Tarvo", 0u, "com.tarvo.app", "Tarvo", QStringLiteral("Made “a b.zip”."), QStringList()}));
    EXPECT_TRUE(qdbus_cast<QVariantMap>(arguments.value(6)).isEmpty());
    EXPECT_EQ(arguments.value(7), -1);
    EXPECT_EQ(server.calls[1].arguments().mid(1, 4), (QVariantList{0u, "com.tarvo.app", "Tarvo", "Second"}));
}

TEST(FileManagerReveal, AsksTheFileManagerAndOpensTheFolderWhenNoneAnswers)
{
    const QString name = QStringLiteral("org.freedesktop.FileManager1");
    if (auto reason = sessionBusUnusable(name)) {
        GTEST_SKIP() << reason->toStdString();
    }
    const QString base = QStringLiteral("/srv/out"); // need not exist
    std::vector<QUrl> opened;
    platform::FileManagerReveal reveal([&](const QUrl& url) { opened.push_back(url); });
    {
        FakeService server(ownConnection("file-manager"), name, QStringLiteral("/org/freedesktop/FileManager1"));
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
