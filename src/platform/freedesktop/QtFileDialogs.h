// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/interfaces/FileDialogs.h"

namespace tarvo::platform {

// Open panels as non-modal QFileDialogs. Files only or folders only use the desktop's own dialog where
// Qt has one; files and folders together use Qt's dialog, where the confirm button takes a folder as an
// answer instead of opening it (no native dialog can choose both).
class QtFileDialogs final : public FileDialogs
{
public:
    QCoro::Task<std::optional<QStringList>> open(OpenRequest request) override;
};

} // namespace tarvo::platform
