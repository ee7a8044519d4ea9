#include "ArchiveNames.h"

#include "engine/l10n/L10n.h"
#include "engine/util/PathText.h"
#include "engine/util/TextUtil.h"

namespace tarvo::engine {

std::string ArchiveNames::stem(const std::filesystem::path& archive)
{
    const std::string name = lastComponent(archive);
    // A part of an archive cut into parts is named after the whole: "x" of "x.7z.001" and of
    // "x.part1.rar".
    const auto digitsOnly = [](std::string_view text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    const std::string inner = deletingPathExtension(name);
    const std::string_view outer = std::string_view(name).substr(inner.size());
    const std::string_view innerExtension = std::string_view(inner).substr(deletingPathExtension(inner).size());
    if (outer.size() >= 4 && digitsOnly(outer.substr(1)) &&
        (equalsIgnoringCaseText(innerExtension, ".7z") || equalsIgnoringCaseText(innerExtension, ".zip"))) {
        return deletingPathExtension(inner);
    }
    if (equalsIgnoringCaseText(outer, ".rar") && innerExtension.size() > 5 &&
        startsWithIgnoringCase(innerExtension, ".part") && digitsOnly(innerExtension.substr(5))) {
        return deletingPathExtension(inner);
    }
    for (std::string_view suffix : {".tar.gz", ".tar.xz", ".tar.bz2", ".tar.zst"}) {
        if (name.size() > suffix.size() && endsWithIgnoringCase(name, suffix)) {
            return name.substr(0, name.size() - suffix.size());
        }
    }
    return deletingPathExtension(name);
}

std::string ArchiveNames::sanitizedBase(std::string_view typed)
{
    std::string result;
    for (char c : trimmed(typed)) {
        result += (c == '/' || c == ':' || c == '\\') ? '-' : c;
    }
    for (std::string_view suffix : {".tar.gz", ".tgz", ".zip", ".rar", ".7z"}) {
        if (endsWithIgnoringCase(result, suffix)) {
            result.resize(result.size() - suffix.size());
            break;
        }
    }
    return result;
}

std::string ArchiveNames::archiveBase(std::string_view typed, const std::vector<std::filesystem::path>& items)
{
    std::string base = sanitizedBase(typed);
    if (base.empty()) {
        base = items.size() == 1 ? stem(items.front()) : L10n::text(Text::archive);
    }
    return base;
}

std::optional<std::string> ArchiveNames::safeEntry(std::string_view entry)
{
    const std::string_view text = trimmed(entry);
    if (text.empty() || text.front() == '/') {
        return std::nullopt;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = text.find('/', start);
        const std::string_view piece = text.substr(start, slash == std::string_view::npos ? text.npos : slash - start);
        if (piece.empty() || piece == "..") {
            return std::nullopt;
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    return std::string(text);
}

} // namespace tarvo::engine
