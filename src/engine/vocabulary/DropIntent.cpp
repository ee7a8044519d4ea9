// SPDX-License-Identifier: GPL-3.0-or-later

#include "DropIntent.h"

#include "ArchiveKind.h"

#include <algorithm>

namespace tarvo::engine {

DropIntent DropIntent::resolve(const std::vector<std::filesystem::path>& items, ArchiveFormat format,
                               const WorkAction& action)
{
    const int count = static_cast<int>(items.size());
    switch (action.kind()) {
    case WorkAction::Kind::automatic: {
        const bool allArchives = std::all_of(items.begin(), items.end(),
                                             [](const auto& item) { return ArchiveKind::from(item).has_value(); });
        if (!items.empty() && allArchives) {
            return extract(count);
        }
        return compress(format, count);
    }
    case WorkAction::Kind::compress:
        return compress(format, count);
    case WorkAction::Kind::extract:
    case WorkAction::Kind::extractConfirmed:
    case WorkAction::Kind::extractFile:
    case WorkAction::Kind::test:
        break;
    }
    return extract(count);
}

} // namespace tarvo::engine
