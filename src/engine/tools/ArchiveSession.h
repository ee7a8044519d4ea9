// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <functional>
#include <mutex>
#include <sys/types.h>

namespace tarvo::engine {

// The cancellation handle of one job, shared by the job that runs tools and the interface that
// cancels it. Once cancelled it stays cancelled: every later tool of the job is refused.
class ArchiveSession
{
public:
    ArchiveSession() = default;
    ArchiveSession(const ArchiveSession&) = delete;
    ArchiveSession& operator=(const ArchiveSession&) = delete;

    // Marks the session cancelled and asks the running child's process group to terminate.
    void cancel();
    bool isCancelled() const;

    // For the runner. Starts a child under the session's lock, so that a cancel lands either
    // before the start (nothing starts) or after it (the child is asked to stop): never in between.
    // Returns false, without calling `spawn`, when the session is already cancelled. `spawn`
    // returns the new child's process id, or throws.
    bool attach(const std::function<pid_t()>& spawn);
    // For the runner: the child has exited and is about to be reaped; its id may be reused after
    // this, so it must no longer be signalled.
    void detach(pid_t child);

private:
    mutable std::mutex m_lock;
    pid_t m_process = 0;
    bool m_cancelled = false;
};

} // namespace tarvo::engine
