// SPDX-License-Identifier: GPL-3.0-or-later

#include "NameFactory.h"

#include "engine/l10n/L10n.h"
#include "engine/util/TextUtil.h"

namespace tarvo::engine {

namespace {

bool taken(const std::filesystem::path& candidate)
{
    std::error_code error;
    const auto status = std::filesystem::symlink_status(candidate, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return false;
    }
    // A name that cannot be looked at (too long, say) is offered, and creating it reports why;
    // counting past it would never end.
    return !error;
}

std::filesystem::path unique(const std::filesystem::path& folder, std::string_view base, std::string_view extension)
{
    std::string name(trimmed(base));
    if (name.empty()) {
        name = L10n::text(Text::archive);
    }
    const std::string suffix = extension.empty() ? std::string() : "." + std::string(extension);
    std::filesystem::path candidate = folder / (name + suffix);
    for (long long n = 2; taken(candidate); ++n) {
        candidate = folder / (name + " " + std::to_string(n) + suffix);
    }
    return candidate;
}

} // namespace

std::filesystem::path NameFactory::uniqueFile(const std::filesystem::path& folder, std::string_view base,
                                              std::string_view extension)
{
    return unique(folder, base, extension);
}

std::filesystem::path NameFactory::uniqueDirectory(const std::filesystem::path& folder, std::string_view base)
{
    return unique(folder, base, {});
}

} // namespace tarvo::engine
