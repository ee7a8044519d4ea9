// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/tools/ProgressStep.h"

#include <functional>
#include <memory>
#include <mutex>

namespace tarvo::app {

// Hands the tools' progress steps from their output threads to the model.
class ProgressGate
{
public:
    using Handler = std::function<void(const engine::ProgressStep&)>;

    void setHandler(Handler handler)
    {
        auto shared = std::make_shared<const Handler>(std::move(handler));
        std::lock_guard guard(m_lock);
        m_handler = std::move(shared);
    }

    // Calls the handler outside the lock, so that a slow handler never holds up a replacement.
    void report(const engine::ProgressStep& step) const
    {
        std::shared_ptr<const Handler> handler;
        {
            std::lock_guard guard(m_lock);
            handler = m_handler;
        }
        if (*handler) {
            (*handler)(step);
        }
    }

private:
    mutable std::mutex m_lock;
    // Shared, so that taking it under the lock costs a reference count rather than a copy.
    std::shared_ptr<const Handler> m_handler = std::make_shared<const Handler>([](const engine::ProgressStep&) {});
};

} // namespace tarvo::app
