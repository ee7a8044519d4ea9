// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>
#include <chrono>
#include <functional>

namespace tarvo::platform {

// Delayed calls on the main thread; tests replace it with a clock they advance by hand.
class Clock
{
public:
    virtual ~Clock() = default;
    // Calls `action` once after `delay`, unless `context` has been destroyed by then.
    virtual void after(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) = 0;
};

} // namespace tarvo::platform
