// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <string_view>

namespace tarvo::engine {

// Names that are free in a folder: "base.ext", then "base 2.ext", "base 3.ext", ...
//
// A name counts as taken when anything at all is there, a dangling symbolic link included: a
// link left there would otherwise lead the new archive or folder to wherever it points.
class NameFactory
{
public:
    // An empty or blank base becomes the localized word "Archive".
    static std::filesystem::path uniqueFile(const std::filesystem::path& folder, std::string_view base,
                                            std::string_view extension);
    // Not created here; the caller creates it.
    static std::filesystem::path uniqueDirectory(const std::filesystem::path& folder, std::string_view base);
};

} // namespace tarvo::engine
