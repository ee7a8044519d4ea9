// SPDX-License-Identifier: GPL-3.0-or-later

// The running application on a private session bus: the request signal, and a second process's hand-off.
#include "platform/freedesktop/RequestBus.h"

#include "TaskRunner.h"
#include "TestBus.h"

#include <QElapsedTimer>
#include <future>
#include <gtest/gtest.h>
#include <memory>

namespace tarvo::test {
namespace {

using platform::FinderRequest;
using platform::RequestBus;
using Received = std::vector<std::pair<QString, QStringList>>;

// A second process blocks on its call; here the owner answers on this thread, so the caller runs on
// another one while this one serves.
template <typename Call> bool callFromElsewhere(Call call)
{
    std::future<bool> answer = std::async(std::launch::async, call);
    EXPECT_TRUE(spinUntil([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return answer.get();
}

// Skips without a private bus. `own` makes this process the running Tarvo, recording what it is asked.
class RequestBusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (auto reason = sessionBusUnusable(RequestBus::kService)) {
            GTEST_SKIP() << reason->toStdString();
        }
    }

    void own()
    {
        running = std::make_unique<RequestBus>(ownConnection("running"));
        ASSERT_EQ(running->start(), RequestBus::Start::owner);
        QObject::connect(
            running.get(), &RequestBus::finderRequested,
            [this](const QString& action, const QStringList& paths) { finder.emplace_back(action, paths); });
        QObject::connect(
            running.get(), &RequestBus::desktopActionRequested,
            [this](const QString& action, const QStringList& paths) { actions.emplace_back(action, paths); });
        QObject::connect(running.get(), &RequestBus::openRequested,
                         [this](const QStringList& paths) { opened.push_back(paths); });
        QObject::connect(running.get(), &RequestBus::activationRequested, [this] { ++activated; });
    }

    std::unique_ptr<RequestBus> running;
    Received finder;
    Received actions;
    std::vector<QStringList> opened;
    int activated = 0;
};

TEST_F(RequestBusTest, HearsTheRequestSignalWithTheReceiversDefaults)
{
    ASSERT_NO_FATAL_FAILURE(own());

    QDBusConnection sender = ownConnection("sender");
    const auto emitRequest = [&sender](const QVariantList& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(RequestBus::kFinderPath, RequestBus::kFinderInterface,
                                                         RequestBus::kFinderMember);
        signal.setArguments(arguments);
        ASSERT_TRUE(sender.send(signal));
    };
    const QStringList paths{"/a b/x.zip", "/line\nbreak", "/-n"};
    emitRequest({QVariantMap{{"action", "extract"}, {"paths", paths}}});
    emitRequest({QVariantMap{{"action", 5}, {"paths", paths}}});
    emitRequest({QVariantMap{{"action", "extract"}}});
    emitRequest({QVariantMap{{"action", "extract"}, {"paths", QVariant::fromValue(QList<int>{1, 2})}}});
    emitRequest({"not a dictionary"});
    emitRequest({});
    ASSERT_TRUE(spinUntil([&] { return finder.size() == 6; }, 5000)) << finder.size();
    Received expected = {{"extract", paths}, {"compress", paths}, {"extract", {}}, {"extract", {}}};
    expected.insert(expected.end(), 2, {"compress", {}});
    EXPECT_EQ(finder, expected);
    EXPECT_TRUE(actions.empty() && opened.empty() && activated == 0);
}

TEST_F(RequestBusTest, ASecondProcessHandsItsRequestOverWhateverItsSize)
{
    ASSERT_NO_FATAL_FAILURE(own());

    QDBusConnection second = ownConnection("second");
    RequestBus secondBus(second);
    EXPECT_EQ(secondBus.start(), RequestBus::Start::anotherRuns);

    EXPECT_TRUE(callFromElsewhere([second] { return RequestBus::activate(second, 5000); }));
    EXPECT_EQ(activated, 1);
    EXPECT_TRUE(callFromElsewhere([second] { return RequestBus::open(second, {"/a.zip"}, 5000); }));
    EXPECT_EQ(opened, std::vector<QStringList>{{"/a.zip"}});

    // 100,000 paths, far over what the signal may carry.
    QStringList many;
    for (int i = 0; i < 100000; ++i) {
        many.push_back(QStringLiteral("/home/someone/Pictures/holiday/photo-%1.jpg").arg(i));
    }
    EXPECT_TRUE(callFromElsewhere([second, many] {
        return RequestBus::request(second, FinderRequest{"compress", many}, 20000);
    }));
    EXPECT_EQ(actions, (Received{{"compress", many}}));
    EXPECT_TRUE(finder.empty());
}

// Holds the name and takes every call without ever answering, as a hung or foreign owner would.
class SilentOwner : public QDBusVirtualObject
{
public:
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
    QString introspect(const QString&) const override { return {}; }
};

TEST_F(RequestBusTest, AnOwnerThatDoesNotAnswerCostsTheCallerOnlyItsTimeout)
{
    QDBusConnection stale = ownConnection("stale");
    SilentOwner owner;
    ASSERT_TRUE(stale.registerVirtualObject(RequestBus::kPath, &owner));
    ASSERT_TRUE(stale.registerService(RequestBus::kService));

    QDBusConnection second = ownConnection("late");
    RequestBus secondBus(second);
    EXPECT_EQ(secondBus.start(), RequestBus::Start::anotherRuns);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(callFromElsewhere([second] { return RequestBus::activate(second, 300); }));
    EXPECT_LT(clock.elapsed(), 3000);
    // A foreign owner without the object answers at once with an error.
    stale.unregisterObject(RequestBus::kPath);
    EXPECT_FALSE(callFromElsewhere([second] { return RequestBus::open(second, {}, 5000); }));

    stale.unregisterService(RequestBus::kService);
    QDBusConnection::disconnectFromBus(stale.name());
    // Without any bus the application runs alone.
    RequestBus alone(QDBusConnection("never connected"));
    EXPECT_EQ(alone.start(), RequestBus::Start::alone);
}

} // namespace
} // namespace tarvo::test
