// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <string>

namespace tarvo::engine {

// The last component of a path as text, ignoring trailing separators ("a/b.7z/" gives "b.7z").
std::string lastComponent(const std::filesystem::path& path);

// The text after the last "." of the last component, or empty when it has none.
std::string pathExtension(const std::string& component);

// The component with its extension (from its last ".") removed.
std::string deletingPathExtension(const std::string& component);

} // namespace tarvo::engine
