// SPDX-License-Identifier: GPL-3.0-or-later

#include "ArchiveEntry.h"

#include "engine/util/PathText.h"
#include "engine/util/TextUtil.h"
#include "engine/vocabulary/ArchiveKind.h"

#include <array>

namespace tarvo::engine {

namespace {

constexpr std::array<std::string_view, 13> kImageExtensions = {
    "jpg", "jpeg", "png", "gif", "heic", "heif", "webp", "tif", "tiff", "bmp", "ico", "svg", "avif",
};

} // namespace

std::string_view ArchiveEntry::symbol() const
{
    if (isDirectory) {
        return "folder";
    }
    if (ArchiveKind::from(path)) {
        return "archivebox";
    }
    const std::string extension = asciiLower(pathExtension(lastComponent(path)));
    for (std::string_view image : kImageExtensions) {
        if (extension == image) {
            return "photo";
        }
    }
    return "doc";
}

} // namespace tarvo::engine
