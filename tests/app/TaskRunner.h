// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <exception>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stdexcept>

namespace tarvo::test {

// Spins the event loop until `condition` holds or `milliseconds` pass; whether it held.
template <typename Condition> bool spinUntil(Condition condition, int milliseconds = 20000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

namespace detail {
template <typename T>
QCoro::Task<> capture(QCoro::Task<T> task, std::optional<T>* result, std::exception_ptr* error, bool* done)
{
    try {
        *result = co_await task;
    } catch (...) {
        *error = std::current_exception();
    }
    *done = true;
}

inline QCoro::Task<> capture(QCoro::Task<> task, std::exception_ptr* error, bool* done)
{
    try {
        co_await task;
    } catch (...) {
        *error = std::current_exception();
    }
    *done = true;
}
} // namespace detail

// Runs a task to its end with a bound, rethrowing what it threw. (QCoro::waitFor never returns
// when the task throws.)
template <typename T> T runTask(QCoro::Task<T> task, int milliseconds = 60000)
{
    std::optional<T> result;
    std::exception_ptr error;
    bool done = false;
    auto runner = detail::capture(std::move(task), &result, &error, &done);
    if (!spinUntil([&] { return done; }, milliseconds)) {
        throw std::runtime_error("task did not finish in time");
    }
    if (error) {
        std::rethrow_exception(error);
    }
    return std::move(*result);
}

inline void runTask(QCoro::Task<> task, int milliseconds = 60000)
{
    std::exception_ptr error;
    bool done = false;
    auto runner = detail::capture(std::move(task), &error, &done);
    if (!spinUntil([&] { return done; }, milliseconds)) {
        throw std::runtime_error("task did not finish in time");
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

} // namespace tarvo::test
