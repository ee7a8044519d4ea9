// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "FinderRules.h"

#include <string>
#include <vector>

namespace tarvo::finder {

// Hands the request to the running application as the session-bus signal. False, with nothing sent,
// when there is no session bus or nobody owns "com.tarvo.app": then the application has to be started.
bool sendRequestSignal(FinderAction action, const std::vector<std::string>& paths);

} // namespace tarvo::finder
