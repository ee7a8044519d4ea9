// SPDX-License-Identifier: GPL-3.0-or-later

#include "ArchiveSession.h"

#include <csignal>

namespace tarvo::engine {

void ArchiveSession::cancel()
{
    std::lock_guard guard(m_lock);
    m_cancelled = true;
    if (m_process > 0) {
        // Every child leads its own session and process group, so this reaches the tool's
        // helpers too. Sent under the lock: the runner reaps the child only after detach(),
        // so the id cannot have been reused by then.
        ::kill(-m_process, SIGTERM);
    }
}

bool ArchiveSession::isCancelled() const
{
    std::lock_guard guard(m_lock);
    return m_cancelled;
}

bool ArchiveSession::attach(const std::function<pid_t()>& spawn)
{
    std::lock_guard guard(m_lock);
    if (m_cancelled) {
        return false;
    }
    m_process = spawn();
    return true;
}

void ArchiveSession::detach(pid_t child)
{
    std::lock_guard guard(m_lock);
    if (m_process == child) {
        m_process = 0;
    }
}

} // namespace tarvo::engine
