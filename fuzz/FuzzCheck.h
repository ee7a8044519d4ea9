// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tarvo::fuzz {

// Aborts when an invariant is broken, naming it, so that libFuzzer keeps the input as a crash.
inline void require(bool holds, const char* invariant)
{
    if (!holds) {
        std::fprintf(stderr, "broken invariant: %s\n", invariant);
        std::abort();
    }
}

// The input as lines, split at LF as a tool's output reaches the parsers; the last may lack its LF.
template <typename OnLine> void forEachLine(std::string_view text, OnLine&& onLine)
{
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        onLine(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
}

inline std::string_view asText(const unsigned char* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace tarvo::fuzz
