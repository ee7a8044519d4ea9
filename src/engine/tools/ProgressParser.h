#pragma once

#include <cstdint>
#include <string_view>

namespace tarvo::engine {

// What one output line of a tool says about the job's advance.
struct ProgressStep
{
    std::int64_t entries = 0; // entries newly finished
    int percent = -1;         // of the whole run, when the tool tells it; -1 otherwise
};

// Reads the archive tools' progress from their output lines. One parser per tool run: 7-Zip
// reports a running count, which the parser turns into steps.
class ProgressParser
{
public:
    enum class Family : std::uint8_t
    {
        // zip and unzip ("adding:", "updating:", "inflating:", "extracting:", "creating:"), rar and
        // unrar ("adding ", "extracting "); letter case ignored.
        infoZip,
        // bsdtar -v: "a NAME" when creating, "x NAME" when extracting (folders end with "/").
        tar,
        // 7zz -bsp1: "NN% [COUNT] [OP NAME]", redrawn after backspaces.
        sevenZip,
        // unar: "  NAME  (SIZE B)... OK." per entry.
        unar,
    };

    explicit ProgressParser(Family family) noexcept
        : m_family(family)
    {}

    // The family that reads a tool's output, by the tool's file name.
    static Family familyOf(std::string_view tool) noexcept;

    // Allocates nothing: it runs on every line of every tool.
    ProgressStep read(std::string_view line) noexcept;

    // The zip, unzip, rar and unrar lines that name one handled entry.
    static bool counts(std::string_view line) noexcept;
    // A line that says nothing but that an entry was handled: bsdtar's "x NAME" without an error
    // after it. It is progress, never part of a message.
    static bool onlyNamesEntry(Family family, std::string_view line) noexcept;

private:
    Family m_family;
    std::int64_t m_reported = 0; // 7-Zip's running count so far
};

} // namespace tarvo::engine
