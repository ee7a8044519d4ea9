// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "app/DesktopRequest.h"

namespace tarvo {

// The desktop application: the windows over the one model, the tray icon, and the requests of other
// processes. When Tarvo already runs, the request goes to that process and this one ends with 0.
// Returns the process's exit status; without a display it says so in one line and returns 1.
int runDesktop(int argc, char** argv);

} // namespace tarvo
