// SPDX-License-Identifier: GPL-3.0-or-later

#include "L10n.h"

#include "Catalog.h"

#include <atomic>

namespace tarvo::engine {

namespace {

std::atomic<AppLanguage>& currentLanguage() noexcept
{
    // A function-local static: initialised once even when several threads arrive together.
    static std::atomic<AppLanguage> language{AppLanguage::matchingSystem()};
    return language;
}

std::string fill(std::string_view pattern, std::initializer_list<std::string_view> arguments)
{
    std::string result;
    result.reserve(pattern.size() + 32);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const auto index = static_cast<std::size_t>(next - '1');
        if (pattern[i] == '%' && next >= '1' && next <= '9' && index < arguments.size()) {
            result.append(arguments.begin()[index]);
            ++i;
        } else {
            result.push_back(pattern[i]);
        }
    }
    return result;
}

} // namespace

AppLanguage L10n::language() noexcept
{
    return currentLanguage().load(std::memory_order_relaxed);
}

void L10n::setLanguage(AppLanguage language) noexcept
{
    currentLanguage().store(language, std::memory_order_relaxed);
}

std::string L10n::text(Text text)
{
    return std::string(Catalog::of(language()).text(text));
}

std::string L10n::filled(Text text, std::initializer_list<std::string_view> arguments)
{
    return fill(Catalog::of(language()).text(text), arguments);
}

std::string L10n::counted(Text text, long long n)
{
    const auto count = static_cast<unsigned long>(n < 0 ? 0 : n);
    return fill(Catalog::of(language()).plural(text, count), {std::to_string(n)});
}

std::string L10n::extracting(std::string_view name)
{
    return filled(Text::extracting, {name});
}

std::string L10n::compressing(std::string_view name)
{
    return filled(Text::compressing, {name});
}

std::string L10n::testing(std::string_view name)
{
    return filled(Text::testing, {name});
}

std::string L10n::made(std::string_view name)
{
    return filled(Text::made, {name});
}

std::string L10n::rarBundleMissing(std::string_view name)
{
    return filled(Text::rarBundleMissing, {name});
}

std::string L10n::toolExited(std::string_view tool, std::int32_t status)
{
    return filled(Text::toolExited, {tool, std::to_string(status)});
}

std::string L10n::progress(std::int64_t done, std::int64_t total)
{
    return filled(Text::progress, {std::to_string(done), std::to_string(total)});
}

} // namespace tarvo::engine
