// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <optional>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>
#include <type_traits>
#include <utility>

namespace tarvo::app {

// What a worker hands back: its value or what it threw. Catching in the worker keeps the original
// exception, which QtConcurrent would otherwise wrap.
template <typename T> struct WorkerOutcome
{
    std::optional<T> value;
    std::exception_ptr error;
};

template <> struct WorkerOutcome<void>
{
    std::exception_ptr error;
};

// Runs a blocking call on `pool` and resumes the awaiting coroutine on its own thread with the
// result, or rethrows there what the call threw.
template <typename Function>
auto runOn(QThreadPool* pool, Function function) -> QCoro::Task<std::invoke_result_t<Function>>
{
    using Result = std::invoke_result_t<Function>;
    auto worker = [function = std::move(function)]() mutable {
        WorkerOutcome<Result> outcome;
        try {
            if constexpr (std::is_void_v<Result>) {
                function();
            } else {
                outcome.value.emplace(function());
            }
        } catch (...) {
            outcome.error = std::current_exception();
        }
        return outcome;
    };
    // Made before the await: GCC 12 mishandles a capturing lambda inside a co_await expression.
    QFuture<WorkerOutcome<Result>> future = QtConcurrent::run(pool, std::move(worker));
    WorkerOutcome<Result> outcome = co_await future;
    if (outcome.error) {
        std::rethrow_exception(outcome.error);
    }
    if constexpr (!std::is_void_v<Result>) {
        co_return std::move(*outcome.value);
    }
}

} // namespace tarvo::app
