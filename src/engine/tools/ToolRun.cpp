// SPDX-License-Identifier: GPL-3.0-or-later

#include "ToolRun.h"

#include <algorithm>
#include <limits>

namespace tarvo::engine {

void ToolRun::givePassword(const std::optional<std::string>& password)
{
    if (!password) {
        return;
    }
    redact = *password;
    switch (passwordRoute) {
    case PasswordRoute::argument:
        break;
    case PasswordRoute::standardInput:
        standardInput = *password + "\n";
        break;
    case PasswordRoute::terminal:
    case PasswordRoute::newOnTerminal:
        terminalAnswer = *password;
        // One prompt more than the tool should need: see terminalAnswer.
        terminalPrompts = passwordRoute == PasswordRoute::terminal ? 2 : 3;
        break;
    }
}

std::uint64_t memoryCeiling(const std::filesystem::path& archive, std::uint64_t base)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(archive, error);
    const std::uint64_t room = (std::numeric_limits<std::uint64_t>::max() - base) / 32;
    return base + 32 * std::min<std::uint64_t>(error ? 0 : size, room);
}

} // namespace tarvo::engine
