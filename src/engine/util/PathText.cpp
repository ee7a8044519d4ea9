// SPDX-License-Identifier: GPL-3.0-or-later

#include "PathText.h"

namespace tarvo::engine {

std::string lastComponent(const std::filesystem::path& path)
{
    std::string text = path.native();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    const std::size_t slash = text.rfind('/');
    return slash == std::string::npos || text.size() == 1 ? text : text.substr(slash + 1);
}

std::string pathExtension(const std::string& component)
{
    const std::size_t dot = component.rfind('.');
    return dot == std::string::npos ? std::string() : component.substr(dot + 1);
}

std::string deletingPathExtension(const std::string& component)
{
    const std::size_t dot = component.rfind('.');
    return dot == std::string::npos ? component : component.substr(0, dot);
}

} // namespace tarvo::engine
