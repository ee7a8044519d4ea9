// SPDX-License-Identifier: GPL-3.0-or-later

#include "ArchiveRecord.h"

#include "engine/util/Uuid.h"

#include <utility>

namespace tarvo::engine {

ArchiveRecord ArchiveRecord::make(JobKind kind, ArchiveFormat format, std::string title, std::string outputPath,
                                  bool succeeded)
{
    return ArchiveRecord{makeUuid(),
                         kind,
                         format,
                         std::move(title),
                         std::move(outputPath),
                         std::chrono::time_point_cast<std::chrono::microseconds>(Clock::now()),
                         succeeded,
                         {}};
}

} // namespace tarvo::engine
