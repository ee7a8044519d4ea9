// SPDX-License-Identifier: GPL-3.0-or-later

// The words read from every output line of a tool: its progress and its password verdicts, as its
// home in adapters/ reads them. The first input byte picks the tool; the rest is its output, one
// line each.
#include "FuzzCheck.h"
#include "engine/adapters/InfoZip.h"
#include "engine/adapters/Rarlab.h"
#include "engine/adapters/SevenZip.h"
#include "engine/adapters/Tar.h"
#include "engine/adapters/Unar.h"
#include "engine/util/TextUtil.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

using namespace tarvo::engine;
using tarvo::fuzz::require;

namespace {

std::string asciiUpper(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return result;
}

const std::array<const OutputReading*, 7> kReadings = {
    &InfoZip::zipReading, &InfoZip::unzipReading, &SevenZip::reading, &Tar::bsdtarReading,
    &Unar::unarReading,   &Unar::lsarReading,     &Rarlab::reading,
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const OutputReading& reading = *kReadings[data[0] % kReadings.size()];
    const bool sevenZip = &reading == &SevenZip::reading;
    const bool countsWords =
        &reading == &InfoZip::zipReading || &reading == &InfoZip::unzipReading || &reading == &Rarlab::reading;
    std::int64_t counted = 0;
    std::int64_t finished = 0;
    tarvo::fuzz::forEachLine(tarvo::fuzz::asText(data + 1, size - 1), [&](std::string_view line) {
        if (reading.progress) {
            const ProgressStep step = reading.progress(line, counted);
            require(step.entries >= 0, "no negative step");
            require(step.percent >= -1 && step.percent <= 100, "a percentage or none");
            if (!sevenZip) {
                require(step.entries <= 1 && step.percent == -1, "one entry a line, no percentage");
            }
            finished += step.entries;
            // 7-Zip's count is read from 18 digits at most.
            require(finished < 1'000'000'000'000'000'000, "the count stays a count");
            if (countsWords) {
                std::int64_t none = 0;
                const auto entries = [&](std::string_view text) { return reading.progress(text, none).entries; };
                require(entries(line) == entries(asciiLower(line)) && entries(line) == entries(asciiUpper(line)),
                        "zip's and rar's words in any letter case");
            }
        }
        require(!reading.onlyNamesEntry || &reading == &Tar::bsdtarReading, "only bsdtar's lines merely name an entry");
        require(!reading.passwordFailure || (&reading != &InfoZip::zipReading && &reading != &Tar::bsdtarReading),
                "no verdict for zip and tar");
        if (reading.passwordFailure) {
            const bool says = reading.passwordFailure(line);
            require(says == reading.passwordFailure(asciiLower(line)) &&
                        says == reading.passwordFailure(asciiUpper(line)),
                    "each tool's password words in any letter case");
        }
    });
    return 0;
}
