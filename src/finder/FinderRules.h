// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What tarvo-finder forwards and how, as pure functions: the helper itself only adds the bus and the launch.
namespace tarvo::finder {

enum class FinderAction
{
    compress,
    extract,
    test,
};

// "compress", "extract" or "test", exactly; anything else is no action.
std::optional<FinderAction> parseFinderAction(std::string_view word);
std::string_view finderActionName(FinderAction action);

// A zip, rar or 7z file by its extension, in any letter case ("A.ZIP"); "x.tar.gz" is not one.
bool isFinderArchive(std::string_view path);

// The selection as the running application receives it: relative arguments resolved against
// `currentDirectory`, "file://" URIs turned into their paths, empty ones and other URIs dropped (they
// name nothing here), selection order kept.
std::vector<std::string> absolutePaths(const std::vector<std::string>& arguments,
                                       const std::filesystem::path& currentDirectory);

// What the action forwards, in selection order: everything to compress, the archives to extract or test.
std::vector<std::string> forwardedPaths(FinderAction action, std::vector<std::string> paths);

// The largest request the signal carries: the paths joined with "\n", counted in UTF-8 bytes.
inline constexpr std::size_t maxSignalBytes = 39'999;

// Whether the paths may travel in the signal: within the limit, and valid UTF-8 (a D-Bus string must
// be; a file name that is not travels in the launch's arguments unchanged).
bool fitsInSignal(const std::vector<std::string>& paths);

// The menu title in the first preferred language, when it is one of the application's seven; English
// otherwise. Tags as AppLanguage::preferredFromEnvironment gives them ("ru-ru", "en").
std::string_view menuTitle(FinderAction action, const std::vector<std::string>& preferredLanguages);
std::string_view menuTitleForEnvironment(FinderAction action);

// The `tarvo` to launch: the executable beside the helper, else the first executable `tarvo` on
// `searchPath` (a PATH value), made absolute against `currentDirectory`.
std::optional<std::filesystem::path> locateApplication(const std::filesystem::path& helperDirectory,
                                                       std::string_view searchPath,
                                                       const std::filesystem::path& currentDirectory);

} // namespace tarvo::finder
