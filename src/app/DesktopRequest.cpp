// SPDX-License-Identifier: GPL-3.0-or-later

#include "DesktopRequest.h"

#include <algorithm>

namespace tarvo::app {

DesktopRequest DesktopRequest::parse(const std::vector<std::string>& arguments,
                                     const std::filesystem::path& workingFolder)
{
    DesktopRequest request;
    const auto absolute = [&workingFolder](const std::string& path) {
        return path.empty() ? path : (workingFolder / path).lexically_normal().string();
    };
    const auto finder = std::find(arguments.begin(), arguments.end(), "--finder");
    if (finder == arguments.end()) {
        for (const std::string& path : arguments) {
            request.paths.push_back(absolute(path));
        }
        request.kind = request.paths.empty() ? Kind::none : Kind::open;
        return request;
    }
    if (std::next(finder) == arguments.end()) {
        return request;
    }
    request.kind = Kind::finder;
    request.action = *std::next(finder);
    for (auto path = std::next(finder, 2); path != arguments.end(); ++path) {
        request.paths.push_back(absolute(*path));
    }
    return request;
}

bool DesktopRequest::isDesktopLaunch(const std::vector<std::string>& arguments)
{
    if (arguments.empty() || std::find(arguments.begin(), arguments.end(), "--finder") != arguments.end()) {
        return true;
    }
    // Files handed over by a desktop are absolute; a name typed in a terminal must exist. Anything
    // else is a mistyped command, which the command line explains.
    const std::string& first = arguments.front();
    std::error_code error;
    return !first.empty() && first.front() != '-' &&
           (first.front() == '/' || std::filesystem::exists(std::filesystem::path(first), error));
}

} // namespace tarvo::app
