// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarvo::engine {

// Every fixed text of the interface, listed with its English form in Texts.def.
enum class Text : std::uint16_t
{
#define TARVO_TEXT(name, english) name,
#define TARVO_PLURAL(name, one, many) name,
#include "Texts.def"
#undef TARVO_TEXT
#undef TARVO_PLURAL
};

inline constexpr std::size_t kTextCount = 0
#define TARVO_TEXT(name, english) +1
#define TARVO_PLURAL(name, one, many) +1
#include "Texts.def"
#undef TARVO_TEXT
#undef TARVO_PLURAL
    ;

// What the source says of a text: its name (the catalogs' msgctxt) and its English form (the
// msgid), with the English plural for a text that counts something.
struct TextSource
{
    std::string_view name;
    std::string_view english;
    std::string_view englishPlural;
};

const TextSource& textSource(Text text);

} // namespace tarvo::engine
