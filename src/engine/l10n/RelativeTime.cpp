// SPDX-License-Identifier: GPL-3.0-or-later

#include "RelativeTime.h"

#include "L10n.h"

#include <array>

namespace tarvo::engine {

namespace {

enum class Unit
{
    minute,
    hour,
    day,
    week,
    month,
    year,
};

// A unit's amount, or the named moment that stands for it ("yesterday" for one day).
struct Span
{
    Unit unit;
    long long amount;
};

constexpr std::array<Text, 6> kCounted = {Text::minutesAgo, Text::hoursAgo,  Text::daysAgo,
                                          Text::weeksAgo,   Text::monthsAgo, Text::yearsAgo};
// One day, week, month or year back; minutes and hours have no such name.
constexpr std::array<Text, 4> kNamed = {Text::yesterday, Text::lastWeek, Text::lastMonth, Text::lastYear};

} // namespace

std::string RelativeTime::ago(std::chrono::seconds elapsed)
{
    const long long seconds = elapsed.count();
    if (seconds < 60) {
        return L10n::text(Text::justNow);
    }
    const long long minutes = seconds / 60;
    const long long hours = minutes / 60;
    const long long days = hours / 24;
    Span span{Unit::minute, minutes};
    if (hours < 1) {
        span = {Unit::minute, minutes};
    } else if (days < 1) {
        span = {Unit::hour, hours};
    } else if (days < 7) {
        span = {Unit::day, days};
    } else if (days < 30) {
        span = {Unit::week, days / 7};
    } else if (days < 365) {
        span = {Unit::month, days / 30};
    } else {
        span = {Unit::year, days / 365};
    }
    if (span.amount == 1 && span.unit >= Unit::day) {
        return L10n::text(kNamed[static_cast<std::size_t>(span.unit) - 2]);
    }
    return L10n::counted(kCounted[static_cast<std::size_t>(span.unit)], span.amount);
}

} // namespace tarvo::engine
