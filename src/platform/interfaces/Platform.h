// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "Clock.h"
#include "Desktop.h"
#include "FileDialogs.h"
#include "FileManagerMenus.h"
#include "FileReveal.h"
#include "LoginItem.h"
#include "Notifier.h"
#include "SleepInhibitor.h"

#include <memory>

namespace tarvo::platform {

// Every desktop facility the application model uses.
struct Platform
{
    std::shared_ptr<FileDialogs> dialogs;
    std::shared_ptr<FileReveal> reveal;
    std::shared_ptr<Notifier> notifier;
    std::shared_ptr<LoginItem> loginItem;
    std::shared_ptr<SleepInhibitor> inhibitor;
    std::shared_ptr<Desktop> desktop;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<FileManagerMenus> fileManagerMenus;
};

} // namespace tarvo::platform
