// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace tarvo::platform {

// Keeps the machine from idle sleep between begin() and end(). Without a way to do so, nothing
// happens and nothing is reported.
class SleepInhibitor
{
public:
    virtual ~SleepInhibitor() = default;
    virtual void begin() = 0;
    virtual void end() = 0;
};

} // namespace tarvo::platform
