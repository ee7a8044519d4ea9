// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>

namespace tarvo::engine {

// What one output line of a tool says about the job's advance.
struct ProgressStep
{
    std::int64_t entries = 0; // entries newly finished
    int percent = -1;         // of the whole run, when the tool tells it; -1 otherwise
};

} // namespace tarvo::engine
