// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace tarvo::platform {

// Whether the desktop asks applications for dark colours: GTK_THEME naming a ":dark" variant, or the
// freedesktop appearance setting of the desktop portal. Qt 6.4 reads neither by itself.
bool prefersDarkColors();

} // namespace tarvo::platform
