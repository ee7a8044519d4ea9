// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <filesystem>
#include <optional>

namespace tarvo::engine {

// A snapshot of the optional tools found on the machine; absent means not found.
struct RarSupport
{
    using Tool = std::optional<std::filesystem::path>;

    Tool creator;   // rar
    Tool extractor; // unrar, or unar without it
    Tool brew;
    Tool lister;   // lsar
    Tool sevenZip; // 7zz, or 7z without it
    Tool unar;
    Tool entryLister; // tarvo-lister, Tarvo's own

    bool operator==(const RarSupport&) const = default;
};

} // namespace tarvo::engine
