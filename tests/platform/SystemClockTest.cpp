// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/freedesktop/SystemClock.h"

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
    std::vector<int> fired;
    QElapsedTimer elapsed;
    elapsed.start();
    clock.after(80ms, &context, [&] { fired.push_back(1); });
    clock.after(20ms, doomed.get(), [&] { fired.push_back(2); });
    doomed.reset();
    ASSERT_TRUE(spinUntil([&] { return !fired.empty(); }, 5000));
    EXPECT_GE(elapsed.elapsed(), 80);
    spinUntil([] { return false; }, 150);
    EXPECT_EQ(fired, std::vector<int>{1});
}

} // namespace
} // namespace tarvo::test
