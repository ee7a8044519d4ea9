#pragma once

#include <string_view>

namespace tarvo::engine {

// Tells which output lines of the archive tools report one handled entry.
class ProgressParser
{
public:
    // zip and unzip ("adding:", "updating:", "inflating:", "extracting:", "creating:"), rar and
    // unrar ("adding ", "extracting "); letter case ignored. Allocates nothing.
    static bool counts(std::string_view line) noexcept;
};

} // namespace tarvo::engine
