// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Names an archive stores in a legacy encoding rather than in UTF-8 (a ZIP made on Windows without
// the UTF-8 flag), and how Tarvo reads them: the same way in the lister, which shows them, and in
// the extraction, which renames what a tool wrote, so that what the preview shows is what lands.
namespace tarvo::engine {

// The encodings a person is offered, by the names Tarvo shows and accepts ("Shift-JIS",
// "Windows-1251"), in the order of the picker.
const std::vector<std::string_view>& commonNameEncodings();

// Tarvo's name for what a person typed or a detector said ("shift_jis", "cp1251", "IBM866"), in
// any letter case, with or without "-" and "_"; another name iconv knows is taken as typed, in
// capitals. None for a name iconv cannot read ("auto" included: it is no encoding).
std::optional<std::string> nameEncodingNamed(std::string_view typed);

// A stored name as Tarvo shows it: valid UTF-8 stays as it is; otherwise each component between
// slashes is read in `encoding` (none: as it is), and every byte that still reads as nothing
// becomes "%xx". Always valid UTF-8, and never a new slash.
std::string readableName(std::string_view stored, std::string_view encoding);

} // namespace tarvo::engine
