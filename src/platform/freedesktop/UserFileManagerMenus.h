// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/FileManagerMenus.h"

namespace tarvo::platform {

// Dolphin's service menus and Nemo's actions under $XDG_DATA_HOME, calling the tarvo-finder beside
// the running executable (a build tree or an installation), else the one on the PATH. Nautilus
// loads its module only from a system folder, which an installation for everyone fills.
class UserFileManagerMenus final : public FileManagerMenus
{
public:
    std::optional<QString> addForUser() override;
};

} // namespace tarvo::platform
