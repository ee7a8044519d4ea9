// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <chrono>
#include <string>

namespace tarvo::engine {

// How long ago something happened, in words of the current interface language: "just now",
// "3 minutes ago", "yesterday", "last week", "5 months ago". The history rows show it.
class RelativeTime
{
public:
    // Counted from whole elapsed time, not from calendar days; a moment in the future reads "just now".
    static std::string ago(std::chrono::seconds elapsed);
};

} // namespace tarvo::engine
