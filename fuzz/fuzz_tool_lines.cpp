// The words read from every output line of a tool: ProgressParser's steps and PasswordFailure's
// verdicts. The first input byte picks the families (its value modulo 4 the progress family, its
// quarter modulo 6 the password family); the rest is the tool's output, one line each.
#include "FuzzCheck.h"
#include "engine/tools/PasswordFailure.h"
#include "engine/tools/ProgressParser.h"
#include "engine/util/TextUtil.h"

#include <algorithm>
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const auto progressFamily = static_cast<ProgressParser::Family>(data[0] % 4);
    const auto passwordFamily = static_cast<PasswordFailure::Family>(data[0] / 4 % 6);
    ProgressParser parser(progressFamily);
    std::int64_t finished = 0;
    tarvo::fuzz::forEachLine(tarvo::fuzz::asText(data + 1, size - 1), [&](std::string_view line) {
        const ProgressStep step = parser.read(line);
        require(step.entries >= 0, "no negative step");
        require(step.percent >= -1 && step.percent <= 100, "a percentage or none");
        if (progressFamily != ProgressParser::Family::sevenZip) {
            require(step.entries <= 1 && step.percent == -1, "one entry a line, no percentage");
        }
        finished += step.entries;
        // 7-Zip's count is read from 18 digits at most.
        require(finished < 1'000'000'000'000'000'000, "the count stays a count");
        require(ProgressParser::counts(line) == ProgressParser::counts(asciiLower(line)) &&
                    ProgressParser::counts(line) == ProgressParser::counts(asciiUpper(line)),
                "zip's and rar's words in any letter case");
        require(!ProgressParser::onlyNamesEntry(progressFamily, line) || progressFamily == ProgressParser::Family::tar,
                "only bsdtar's lines merely name an entry");

        require(!PasswordFailure::matchesLine(line, PasswordFailure::Family::none), "no verdict for zip and tar");
        if (PasswordFailure::matchesLine(line, passwordFamily)) {
            require(PasswordFailure::matchesLine(line, PasswordFailure::Family::any),
                    "an unknown tool's lines meet every tool's rules");
        }
    });
    return 0;
}
