// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ArchiveError.h"

#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

namespace tarvo::engine {

// The text a person sees for a failure: an ArchiveError's message in the interface language, or
// the system's own words for a file-system or launch error.
inline std::string describeError(const std::exception& error)
{
    if (const auto* archiveError = dynamic_cast<const ArchiveError*>(&error)) {
        return archiveError->errorDescription();
    }
    // "/path: Permission denied" rather than the library's "filesystem error: ... [/path]".
    if (const auto* fileError = dynamic_cast<const std::filesystem::filesystem_error*>(&error)) {
        const std::string path = fileError->path1().empty() ? std::string() : fileError->path1().string() + ": ";
        return path + fileError->code().message();
    }
    return error.what();
}

inline bool isCancellation(const std::exception& error)
{
    const auto* archiveError = dynamic_cast<const ArchiveError*>(&error);
    return archiveError != nullptr && archiveError->errorCase() == ArchiveError::Case::cancelled;
}

} // namespace tarvo::engine
