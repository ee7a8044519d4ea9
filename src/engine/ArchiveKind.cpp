#include "ArchiveKind.h"

#include "PathText.h"
#include "TextUtil.h"

namespace tarvo::engine {

std::optional<ArchiveKind> ArchiveKind::from(const std::filesystem::path& path)
{
    const std::string name = lastComponent(path);
    const std::string extension = asciiLower(pathExtension(name));
    if (extension == "zip") {
        return zip;
    }
    if (extension == "rar") {
        return rar;
    }
    if (extension == "7z") {
        return sevenZip;
    }
    if (extension == "tgz") {
        return tarGz;
    }
    if (extension == "gz" && asciiLower(pathExtension(deletingPathExtension(name))) == "tar") {
        return tarGz;
    }
    return std::nullopt;
}

} // namespace tarvo::engine
