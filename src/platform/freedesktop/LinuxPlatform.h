// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/Platform.h"

#include <functional>

namespace tarvo::platform {

// The freedesktop implementations. `showMainWindow` is what opens the main window.
Platform linuxPlatform(std::function<void()> showMainWindow);

} // namespace tarvo::platform
