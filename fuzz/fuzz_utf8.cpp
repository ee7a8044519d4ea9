// SPDX-License-Identifier: GPL-3.0-or-later

// UTF-8 checks and repair (TextUtil.h), held to the Unicode standard's table of well-formed
// sequences rather than to the engine's own decoder.
#include "FuzzCheck.h"
#include "engine/util/LegacyNames.h"
#include "engine/util/TextUtil.h"

#include <algorithm>
#include <cstdint>
#include <string>

using namespace tarvo::engine;
using tarvo::fuzz::require;

namespace {

// Well-formed byte sequences as the Unicode standard tabulates them (no overlong forms, no
// surrogates, nothing past U+10FFFF), byte by byte.
bool wellFormed(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t trail = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            trail = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trail = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trail = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (text.size() - i <= trail) {
            return false;
        }
        for (std::size_t k = 1; k <= trail; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += trail + 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes = tarvo::fuzz::asText(data, size);
    const bool valid = isValidUtf8(bytes);
    require(valid == wellFormed(bytes), "isValidUtf8 agrees with the standard");

    const std::string repaired = repairedUtf8(bytes);
    require(wellFormed(repaired), "repaired text is UTF-8");
    require(valid == (repaired == bytes), "valid text comes back unchanged, invalid text repaired");

    // Every line is trimmed after its repair.
    const std::string_view trimmedText = trimmed(repaired);
    require(trimmedText.data() >= repaired.data() &&
                trimmedText.data() + trimmedText.size() <= repaired.data() + repaired.size(),
            "trimming only cuts");
    require(wellFormed(trimmedText), "trimming keeps whole characters");
    require(trimmed(trimmedText) == trimmedText, "trimming twice changes nothing");

    // A stored name, read in a legacy encoding or in none: always UTF-8, as many slashes as stored,
    // and no component that names the folder itself or the one above unless it was stored so.
    const auto slashes = [](std::string_view text) { return std::count(text.begin(), text.end(), '/'); };
    for (const char* encoding :
         {"", "Shift-JIS", "CP866", "GB18030", "Big5", "ISIRI-3342", "ARMSCII-8", "WINDOWS-1258"}) {
        const std::string name = readableName(bytes, encoding);
        require(wellFormed(name), "a read name is UTF-8");
        require(slashes(name) == slashes(bytes), "reading adds or removes no slash");
        require(!valid || name == bytes, "a UTF-8 name stays as it is");
        // Component by component: "." and ".." only where they were stored.
        std::string_view shownRest = name;
        std::string_view storedRest = bytes;
        while (true) {
            const auto shownSlash = shownRest.find('/');
            const auto storedSlash = storedRest.find('/');
            const std::string_view shown = shownRest.substr(0, shownSlash);
            const std::string_view stored = storedRest.substr(0, storedSlash);
            require((shown != "." && shown != "..") || shown == stored, "no new . or .. component");
            if (shownSlash == std::string_view::npos || storedSlash == std::string_view::npos) {
                break;
            }
            shownRest.remove_prefix(shownSlash + 1);
            storedRest.remove_prefix(storedSlash + 1);
        }
    }
    return 0;
}
