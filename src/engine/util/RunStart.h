// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace tarvo::engine {

enum class RunKind
{
    commandLine, // the command line and the file managers' helper
    window,
};

// What every Tarvo program does first. It keeps what the process will hold (a password typed for
// an archive) out of core dumps, and it removes what earlier runs that were killed left beside the
// user's files. The command line is also made undumpable, which keeps other processes of the user
// from reading its memory; the window stays dumpable, because the desktop portal identifies its
// callers through /proc/PID/root, which that would close to it, and it sweeps beside its start
// instead of before it, so that it shows at once.
void beginRun(RunKind kind) noexcept;

} // namespace tarvo::engine
