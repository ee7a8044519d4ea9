#include "SystemClock.h"

#include "Platform.h"
#include "TaskRunner.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

using namespace std::chrono_literals;

TEST(SystemClock, CallsOnceAfterTheDelayUnlessTheContextIsGone)
{
    platform::SystemClock clock;
    QObject context;
    auto doomed = std::make_unique<QObject>();
    int fired = 0;
    int firedForDoomed = 0;
    QElapsedTimer elapsed;
    elapsed.start();
    clock.after(80ms, &context, [&] { ++fired; });
    clock.after(20ms, doomed.get(), [&] { ++firedForDoomed; });
    doomed.reset();

    ASSERT_TRUE(spinUntil([&] { return fired > 0; }, 5000));
    EXPECT_GE(elapsed.elapsed(), 80);
    spinUntil([] { return false; }, 150);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(firedForDoomed, 0);
}

TEST(LinuxPlatform, BundlesEveryFacility)
{
    int shown = 0;
    const platform::Platform bundle = platform::linuxPlatform([&] { ++shown; });
    EXPECT_TRUE(bundle.dialogs && bundle.reveal && bundle.notifier && bundle.loginItem && bundle.inhibitor &&
                bundle.desktop && bundle.clock);
    bundle.desktop->showMainWindow();
    EXPECT_EQ(shown, 1);
}

} // namespace
} // namespace tarvo::test
