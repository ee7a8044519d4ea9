// SPDX-License-Identifier: GPL-3.0-or-later

#include "RunStart.h"

#include "Leftovers.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <thread>

namespace tarvo::engine {

void beginRun(RunKind kind) noexcept
{
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    if (kind == RunKind::commandLine) {
        ::prctl(PR_SET_DUMPABLE, 0);
        Leftovers::sweep();
        return;
    }
    try {
        std::thread([] { Leftovers::sweep(); }).detach();
    } catch (...) {
        Leftovers::sweep();
    }
}

} // namespace tarvo::engine
