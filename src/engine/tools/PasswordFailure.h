#pragma once

#include <cstdint>
#include <string_view>

namespace tarvo::engine {

// Recognises the lines in which an archive tool says that a password was wrong or missing.
//
// Output lines also carry file, folder and archive names ("adding: wrong password.txt",
// "- Bad Password notes/x", "Creating archive: /x/wrong password.7z"), so a plain search for
// "wrong password" would turn a successful job into a password failure. Each rule matches one
// tool's own message in the place that tool prints it, where a name cannot supply the text, and
// only the rules of the tool that printed the line are applied.
class PasswordFailure
{
public:
    enum class Family : std::uint8_t
    {
        unzip,
        sevenZip,
        unar,  // unar and lsar
        unrar, // RARLAB's unrar and rar
        none,  // tools that never handle passwords: zip, tar
        any,   // an unknown tool: every rule applies
    };

    // The family of a tool by its file name ("7zz", "lsar", ...).
    static Family familyOf(std::string_view toolName) noexcept;

    // `line` is one trimmed output line of a tool of `family`.
    static bool matchesLine(std::string_view line, Family family = Family::any) noexcept;
};

} // namespace tarvo::engine
