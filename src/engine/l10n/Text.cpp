// SPDX-License-Identifier: GPL-3.0-or-later

#include "Text.h"

#include <array>

namespace tarvo::engine {

namespace {

constexpr std::array<TextSource, kTextCount> kSources = {{
#define TARVO_TEXT(name, english) {#name, english, {}},
#define TARVO_PLURAL(name, one, many) {#name, one, many},
#include "Texts.def"
#undef TARVO_TEXT
#undef TARVO_PLURAL
}};

} // namespace

const TextSource& textSource(Text text)
{
    return kSources[static_cast<std::size_t>(text)];
}

} // namespace tarvo::engine
