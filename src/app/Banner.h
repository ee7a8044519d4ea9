// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace tarvo::app {

// The status line of the last or current job.
struct Banner
{
    enum class Kind
    {
        working,
        success,
        failure,
        idle,
    };

    Kind kind = Kind::idle;
    QString text; // the complete text shown; empty when idle

    static Banner working(QString text) { return {Kind::working, std::move(text)}; }
    static Banner success(QString text) { return {Kind::success, std::move(text)}; }
    static Banner failure(QString text) { return {Kind::failure, std::move(text)}; }
    static Banner idle() { return {}; }

    bool operator==(const Banner&) const = default;
};

} // namespace tarvo::app
