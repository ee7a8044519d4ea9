// SPDX-License-Identifier: GPL-3.0-or-later

#include "TarvoLister.h"

#include "engine/util/LegacyNames.h"
#include "engine/util/TextUtil.h"

namespace tarvo::engine {

namespace {

// A field of tarvo-lister's output without its escapes ("\" and two hex digits for a byte).
std::string unescapedListerField(std::string_view field)
{
    std::string text;
    text.reserve(field.size());
    const auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 2 < field.size() && hex(field[i + 1]) >= 0 && hex(field[i + 2]) >= 0) {
            text += static_cast<char>(hex(field[i + 1]) * 16 + hex(field[i + 2]));
            i += 2;
        } else {
            text += field[i];
        }
    }
    return text;
}

ToolRun listerRun(const std::filesystem::path& lister, std::vector<std::string> arguments)
{
    ToolRun run;
    run.executable = lister;
    run.arguments = std::move(arguments);
    return run;
}

} // namespace

std::optional<std::string_view> TarvoLister::formatOf(ArchiveKind kind)
{
    if (kind == ArchiveKind::zip || kind == ArchiveKind::jar || kind == ArchiveKind::zipx) {
        return "zip";
    }
    if (kind == ArchiveKind::sevenZip) {
        return "7z";
    }
    if (kind.isTar()) {
        return "tar";
    }
    return std::nullopt;
}

ToolRun TarvoLister::list(const std::filesystem::path& lister, std::string_view format,
                          const std::filesystem::path& archive, std::string_view encoding)
{
    ToolRun run = listerRun(lister, {"--format", std::string(format)});
    if (format == "zip") {
        run.arguments.insert(run.arguments.end(), {"--encoding", encoding.empty() ? "auto" : std::string(encoding)});
    }
    run.arguments.insert(run.arguments.end(), {"--", std::filesystem::absolute(archive).string()});
    run.memoryCeiling = memoryCeiling(archive);
    return run;
}

ToolRun TarvoLister::detect(const std::filesystem::path& lister, const std::filesystem::path& archive,
                            std::string_view encoding)
{
    ToolRun run = listerRun(lister, {"--format", "zip", "--encoding", encoding.empty() ? "auto" : std::string(encoding),
                                     "--detect", "--", std::filesystem::absolute(archive).string()});
    run.memoryCeiling = memoryCeiling(archive);
    return run;
}

bool TarvoLister::readLine(std::string_view line, ArchiveListing& listing)
{
    // "TYPE SIZE FLAGS PATH[ STORED][ LINK]"; no field holds a blank.
    std::string_view rest = line;
    const std::string_view type = nextField(rest);
    if (type == "encoding") {
        const std::string_view name = nextField(rest);
        listing.nameEncoding = nameEncodingNamed(unescapedListerField(name)).value_or(std::string());
        return false;
    }
    const std::string_view size = nextField(rest);
    const std::string_view flags = nextField(rest);
    const std::string_view path = nextField(rest);
    const bool hasStored = flags.size() == 2 && flags[1] == 'r';
    const std::string_view stored = hasStored ? nextField(rest) : std::string_view();
    const std::string_view link = nextField(rest);
    if (type.size() != 1 || size.empty() || (flags.size() != 1 && !hasStored) || path.empty() ||
        (hasStored && stored.empty())) {
        return false;
    }
    ArchiveEntry entry;
    entry.isDirectory = type == "d";
    entry.path = unescapedListerField(path);
    if (hasStored) {
        entry.storedPath = unescapedListerField(stored);
        while (entry.storedPath.size() > 1 && entry.storedPath.back() == '/') {
            entry.storedPath.pop_back();
        }
    }
    // Folders may end in "/" ("Photos/"); the listing names them as lsar does, without it.
    while (entry.path.size() > 1 && entry.path.back() == '/') {
        entry.path.pop_back();
    }
    entry.byteSize = decimalSize(size);
    listing.isEncrypted = listing.isEncrypted || flags[0] == 'e';
    if (!link.empty() && (type == "l" || type == "h")) {
        listing.links.push_back({listing.entries.size(), unescapedListerField(link), type == "h"});
    }
    listing.entries.push_back(std::move(entry));
    return true;
}

} // namespace tarvo::engine
