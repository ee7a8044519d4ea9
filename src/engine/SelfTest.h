// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/l10n/AppLanguage.h"

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace tarvo::engine {

// Checks on the installed machine that the translations and the whole chain of archive tools
// work: packs a small folder in every format whose tools are present, unpacks it, lists a
// protected archive and compares. Writes its findings to `log`; true when every check passed.
class SelfTest
{
public:
    // The catalog lookup under test; replaceable so that a broken table can be simulated.
    using Lookup = std::function<std::string(std::string_view key, AppLanguage language)>;

    static bool run(std::ostream& log);
    static bool run(std::ostream& log, const Lookup& lookup);
};

} // namespace tarvo::engine
