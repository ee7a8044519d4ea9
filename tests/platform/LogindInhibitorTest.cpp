// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/freedesktop/LogindInhibitor.h"

#include "TestBus.h"

#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

namespace tarvo::test {
namespace {

TEST(LogindInhibitor, HoldsOneIdleLockWhileWantedAndLetsGoOfTheRest)
{
    const QString name = "org.freedesktop.login1";
    if (auto reason = sessionBusUnusable(name)) {
        GTEST_SKIP() << reason->toStdString();
    }
    std::vector<int> readEnds; // each lock is the write end of a pipe of its own
    FakeService logind(QDBusConnection::connectToBus(QDBusConnection::SystemBus, "logind"), name,
                       "/org/freedesktop/login1", [&](const QDBusMessage&) {
                           int ends[2];
                           EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
                           readEnds.push_back(ends[0]);
                           const QDBusUnixFileDescriptor lock(ends[1]); // a duplicate
                           ::close(ends[1]);
                           return QVariantList{QVariant::fromValue(lock)};
                       });
    ASSERT_TRUE(logind.registered());
    const auto released = [&](std::size_t index) { // every copy of the lock closed
        pollfd entry{readEnds.at(index), POLLIN, 0};
        return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP) != 0;
    };

    platform::LogindInhibitor inhibitor; // on the system bus, as in the application
    QElapsedTimer clock;
    clock.start();
    inhibitor.begin();
    inhibitor.begin();
    EXPECT_LT(clock.elapsed(), 1000);
    ASSERT_TRUE(settleUntil([&] { return !logind.calls.empty(); }));
    const QDBusMessage& call = logind.calls[0];
    EXPECT_EQ(call.interface() + "." + call.member(), "org.freedesktop.login1.Manager.Inhibit");
    EXPECT_EQ(call.arguments(), (QVariantList{"idle", "Tarvo", "Tarvo archive", "block"}));
    EXPECT_EQ(call.service(), QDBusConnection::systemBus().baseService()) << "not asked on the system bus";
    EXPECT_FALSE(settleUntil([&] { return released(0); }, 500));
    EXPECT_EQ(logind.calls.size(), 1u) << "a second begin() asked for a second lock";
    inhibitor.end();
    EXPECT_TRUE(settleUntil([&] { return released(0); }));

    inhibitor.begin();
    inhibitor.end(); // before the answer
    ASSERT_TRUE(settleUntil([&] { return logind.calls.size() == 2; }));
    EXPECT_TRUE(settleUntil([&] { return released(1); }));

    // Ended and begun again before the first answer: the second lock is the one kept.
    inhibitor.begin();
    inhibitor.end();
    inhibitor.begin();
    ASSERT_TRUE(settleUntil([&] { return logind.calls.size() == 4; }));
    EXPECT_TRUE(settleUntil([&] { return released(2); }));
    EXPECT_FALSE(settleUntil([&] { return released(3); }, 500));
    inhibitor.end();
    EXPECT_TRUE(settleUntil([&] { return released(3); }));
    for (int fd : readEnds) {
        ::close(fd);
    }
}

} // namespace
} // namespace tarvo::test
