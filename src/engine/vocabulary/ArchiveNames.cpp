// SPDX-License-Identifier: GPL-3.0-or-later

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
    if (const auto part = splitPart(name)) {
        return part->family == SplitPart::Family::numbered ? deletingPathExtension(part->base) : part->base;
    }
    for (std::string_view suffix : {".tar.gz", ".tar.xz", ".tar.bz2", ".tar.zst"}) {
        if (name.size() > suffix.size() && endsWithIgnoringCase(name, suffix)) {
            return name.substr(0, name.size() - suffix.size());
        }
    }
    return deletingPathExtension(name);
}

std::optional<ArchiveNames::SplitPart> ArchiveNames::splitPart(std::string_view name)
{
    const auto digitsOnly = [](std::string_view text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    const std::string lower = asciiLower(name);
    const std::size_t dot = lower.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return std::nullopt;
    }
    const std::string_view extension = std::string_view(lower).substr(dot + 1);
    const std::string_view stem = std::string_view(lower).substr(0, dot);
    const std::string base(name.substr(0, dot));
    using Family = SplitPart::Family;
    if (extension.size() >= 3 && digitsOnly(extension) &&
        ((stem.ends_with(".7z") && stem.size() > 3) || (stem.ends_with(".zip") && stem.size() > 4))) {
        return SplitPart{Family::numbered, base, extension.size()};
    }
    if (extension.size() >= 3 && (extension[0] == 'z' || extension[0] == 'r') && digitsOnly(extension.substr(1))) {
        return SplitPart{extension[0] == 'z' ? Family::zipSplit : Family::rarOld, base, extension.size() - 1};
    }
    const std::size_t inner = stem.rfind('.');
    if (extension == "rar" && inner != std::string_view::npos && inner > 0 &&
        stem.substr(inner + 1).starts_with("part") && digitsOnly(stem.substr(inner + 5))) {
        return SplitPart{Family::rarParts, std::string(name.substr(0, inner)), stem.size() - inner - 5};
    }
    return std::nullopt;
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
