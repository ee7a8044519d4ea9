// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string>

namespace tarvo::engine {

// A random (version 4) UUID in its upper-case 8-4-4-4-12 form, from the kernel's random source.
std::string makeUuid();

} // namespace tarvo::engine
