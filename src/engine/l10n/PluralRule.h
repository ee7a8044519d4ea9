// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvo::engine {

// The plural rule of a catalog's "Plural-Forms" header ("nplurals=3; plural=(n%10==1 ? 0 : ...);"):
// which of a text's forms a number takes. The expression is C's arithmetic, comparisons, logic and
// the conditional on the one variable n.
class PluralRule
{
public:
    // English's rule: two forms, the first for exactly one.
    PluralRule() = default;

    // The rule of a catalog header; a header without a rule, or with one that does not read, gives
    // English's.
    static PluralRule fromHeader(std::string_view header);

    std::size_t formCount() const noexcept { return m_forms; }
    // The form for n, always below formCount().
    std::size_t form(unsigned long n) const;

private:
    std::size_t m_forms = 2;
    std::string m_expression = "n != 1";
};

} // namespace tarvo::engine
