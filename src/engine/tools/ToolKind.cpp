#include "ToolKind.h"

#include <array>
#include <utility>

namespace tarvo::engine {

ToolKind toolKindOf(std::string_view fileName) noexcept
{
    static constexpr std::array<std::pair<std::string_view, ToolKind>, 13> kNames = {{
        {"zip", ToolKind::zip},
        {"unzip", ToolKind::unzip},
        {"bsdtar", ToolKind::tar},
        {"tar", ToolKind::tar},
        {"gzip", ToolKind::gzip},
        {"7zz", ToolKind::sevenZip},
        {"7z", ToolKind::sevenZip},
        {"7za", ToolKind::sevenZip},
        {"rar", ToolKind::rar},
        {"unrar", ToolKind::unrar},
        {"unar", ToolKind::unar},
        {"lsar", ToolKind::lsar},
        {"tarvo-lister", ToolKind::entryLister},
    }};
    for (const auto& [name, kind] : kNames) {
        if (name == fileName) {
            return kind;
        }
    }
    return ToolKind::other;
}

} // namespace tarvo::engine
