#include "ProgressParser.h"

#include "TextUtil.h"

namespace tarvo::engine {

bool ProgressParser::counts(std::string_view line) noexcept
{
    static constexpr std::string_view prefixes[] = {
        "adding:", "updating:", "inflating:", "extracting:", "creating:", "adding ", "extracting ",
    };
    for (std::string_view prefix : prefixes) {
        if (startsWithIgnoringCase(line, prefix)) {
            return true;
        }
    }
    return false;
}

} // namespace tarvo::engine
