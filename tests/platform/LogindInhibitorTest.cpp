// The sleep inhibitor against a fake logind on the private bus that stands in for the system bus.
#include "LogindInhibitor.h"

#include "TestBus.h"

#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

namespace tarvo::test {
namespace {

class LogindInhibitorTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (fakeSystemBusAddress().isEmpty()) {
            GTEST_SKIP() << "dbus-daemon could not start a private bus for the system bus";
        }
        ASSERT_TRUE(m_logind.registered());
    }
    ~LogindInhibitorTest() override
    {
        for (int fd : m_readEnds) {
            ::close(fd);
        }
    }

    // Whether every copy of the descriptor handed out for lock `index` is closed.
    bool released(std::size_t index) const
    {
        pollfd entry{m_readEnds.at(index), POLLIN, 0};
        return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP) != 0;
    }

    // Every lock is the write end of a new pipe.
    std::vector<int> m_readEnds;
    FakeService m_logind{QDBusConnection::connectToBus(fakeSystemBusAddress(), QStringLiteral("logind")),
                         QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                         [this](const QDBusMessage&) {
                             int ends[2];
                             EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
                             m_readEnds.push_back(ends[0]);
                             const QDBusUnixFileDescriptor lock(ends[1]); // a duplicate
                             ::close(ends[1]);
                             return QVariantList{QVariant::fromValue(lock)};
                         }};
};

TEST_F(LogindInhibitorTest, HoldsOneIdleLockFromBeginToEnd)
{
    // Found through DBUS_SYSTEM_BUS_ADDRESS, as the application finds logind.
    platform::LogindInhibitor inhibitor;
    QElapsedTimer clock;
    clock.start();
    inhibitor.begin();
    inhibitor.begin();
    EXPECT_LT(clock.elapsed(), 1000);

    ASSERT_TRUE(settleUntil([&] { return !m_logind.calls.empty(); }));
    const QDBusMessage& call = m_logind.calls[0];
    EXPECT_EQ(call.interface() + "." + call.member(), "org.freedesktop.login1.Manager.Inhibit");
    EXPECT_EQ(call.arguments(), (QVariantList{"idle", "Tarvo", "Tarvo archive", "block"}));
    EXPECT_FALSE(settleUntil([&] { return released(0); }, 500));
    EXPECT_EQ(m_logind.calls.size(), 1u) << "a second begin() asked for a second lock";

    inhibitor.end();
    EXPECT_TRUE(settleUntil([&] { return released(0); }));
}

TEST_F(LogindInhibitorTest, LetsGoOfLocksThatAreNoLongerWanted)
{
    platform::LogindInhibitor inhibitor;
    inhibitor.begin();
    inhibitor.end(); // before the answer
    ASSERT_TRUE(settleUntil([&] { return m_logind.calls.size() == 1; }));
    EXPECT_TRUE(settleUntil([&] { return released(0); }));

    // Ended and begun again before the first answer: the second lock is the one kept.
    inhibitor.begin();
    inhibitor.end();
    inhibitor.begin();
    ASSERT_TRUE(settleUntil([&] { return m_logind.calls.size() == 3; }));
    EXPECT_TRUE(settleUntil([&] { return released(1); }));
    EXPECT_FALSE(settleUntil([&] { return released(2); }, 500));
    inhibitor.end();
    EXPECT_TRUE(settleUntil([&] { return released(2); }));
}

TEST(LogindInhibitor, WithoutLogindOrBusNothingHappens)
{
    if (fakeSystemBusAddress().isEmpty()) {
        GTEST_SKIP() << "dbus-daemon could not start a private bus for the system bus";
    }
    platform::LogindInhibitor withoutLogind; // the fake system bus, where nobody is login1 now
    platform::LogindInhibitor withoutBus{QDBusConnection(QStringLiteral("no such connection"))};
    QElapsedTimer clock;
    clock.start();
    for (auto* inhibitor : {&withoutLogind, &withoutBus}) {
        inhibitor->begin();
        settleUntil([] { return false; }, 200);
        inhibitor->end();
    }
    EXPECT_LT(clock.elapsed(), 2000);
}

} // namespace
} // namespace tarvo::test
