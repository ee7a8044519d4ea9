// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/Clock.h"

namespace tarvo::platform {

// The real clock: Qt's single-shot timers on the main thread.
class SystemClock final : public Clock
{
public:
    void after(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) override;
};

} // namespace tarvo::platform
