// SPDX-License-Identifier: GPL-3.0-or-later

#include "PluralRule.h"

#include <cctype>
#include <optional>

namespace tarvo::engine {

namespace {

// A recursive-descent reading of the expression that computes as it reads. A catalog is data from
// a file: nesting is bounded and a division by zero is a failure, not a crash.
class Evaluation
{
public:
    Evaluation(std::string_view text, unsigned long n)
        : m_text(text)
        , m_n(n)
    {}

    std::optional<unsigned long> run()
    {
        const unsigned long value = conditional();
        skipSpace();
        if (m_failed || m_at != m_text.size()) {
            return std::nullopt;
        }
        return value;
    }

private:
    static constexpr int kMaxDepth = 64;

    unsigned long conditional()
    {
        if (++m_depth > kMaxDepth) {
            return fail();
        }
        const unsigned long condition = logicalOr();
        unsigned long value = condition;
        if (accept("?")) {
            const unsigned long whenTrue = conditional();
            if (!accept(":")) {
                return fail();
            }
            const unsigned long whenFalse = conditional();
            value = condition ? whenTrue : whenFalse;
        }
        --m_depth;
        return value;
    }

    unsigned long logicalOr()
    {
        unsigned long value = logicalAnd();
        while (accept("||")) {
            const unsigned long right = logicalAnd();
            value = (value || right) ? 1 : 0;
        }
        return value;
    }

    unsigned long logicalAnd()
    {
        unsigned long value = equality();
        while (accept("&&")) {
            const unsigned long right = equality();
            value = (value && right) ? 1 : 0;
        }
        return value;
    }

    unsigned long equality()
    {
        unsigned long value = relation();
        for (;;) {
            if (accept("==")) {
                value = value == relation() ? 1 : 0;
            } else if (accept("!=")) {
                value = value != relation() ? 1 : 0;
            } else {
                return value;
            }
        }
    }

    unsigned long relation()
    {
        unsigned long value = sum();
        for (;;) {
            if (accept("<=")) {
                value = value <= sum() ? 1 : 0;
            } else if (accept(">=")) {
                value = value >= sum() ? 1 : 0;
            } else if (accept("<")) {
                value = value < sum() ? 1 : 0;
            } else if (accept(">")) {
                value = value > sum() ? 1 : 0;
            } else {
                return value;
            }
        }
    }

    unsigned long sum()
    {
        unsigned long value = product();
        for (;;) {
            if (accept("+")) {
                value += product();
            } else if (accept("-")) {
                value -= product();
            } else {
                return value;
            }
        }
    }

    unsigned long product()
    {
        unsigned long value = unary();
        for (;;) {
            if (accept("*")) {
                value *= unary();
            } else if (accept("/") || accept("%")) {
                const bool remainder = m_text[m_at - 1] == '%';
                const unsigned long divisor = unary();
                if (divisor == 0) {
                    return fail();
                }
                value = remainder ? value % divisor : value / divisor;
            } else {
                return value;
            }
        }
    }

    unsigned long unary()
    {
        if (accept("!")) {
            if (++m_depth > kMaxDepth) {
                return fail();
            }
            const unsigned long value = unary() ? 0 : 1;
            --m_depth;
            return value;
        }
        return primary();
    }

    unsigned long primary()
    {
        skipSpace();
        if (accept("(")) {
            const unsigned long value = conditional();
            return accept(")") ? value : fail();
        }
        if (accept("n")) {
            return m_n;
        }
        if (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at]))) {
            unsigned long value = 0;
            while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at]))) {
                value = value * 10 + static_cast<unsigned long>(m_text[m_at++] - '0');
            }
            return value;
        }
        return fail();
    }

    void skipSpace()
    {
        while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at]))) {
            ++m_at;
        }
    }

    bool accept(std::string_view token)
    {
        skipSpace();
        if (m_failed || !m_text.substr(m_at).starts_with(token)) {
            return false;
        }
        // "<" must not take the first half of "<=", nor "!" of "!=", nor "|" of "||".
        if (token.size() == 1 && m_at + 1 < m_text.size() && m_text[m_at + 1] == '=' &&
            std::string_view("<>!=").find(token[0]) != std::string_view::npos) {
            return false;
        }
        m_at += token.size();
        return true;
    }

    unsigned long fail()
    {
        m_failed = true;
        m_at = m_text.size();
        return 0;
    }

    std::string_view m_text;
    unsigned long m_n;
    std::size_t m_at = 0;
    int m_depth = 0;
    bool m_failed = false;
};

// The value after "name=" up to the next ";" (or the line's end), or nothing.
std::optional<std::string_view> field(std::string_view rule, std::string_view name)
{
    std::size_t at = 0;
    while ((at = rule.find(name, at)) != std::string_view::npos) {
        const bool starts = at == 0 || rule[at - 1] == ' ' || rule[at - 1] == ';' || rule[at - 1] == '\t';
        std::size_t after = at + name.size();
        while (after < rule.size() && rule[after] == ' ') {
            ++after;
        }
        if (starts && after < rule.size() && rule[after] == '=') {
            const std::string_view value = rule.substr(after + 1);
            return value.substr(0, value.find(';'));
        }
        at += name.size();
    }
    return std::nullopt;
}

} // namespace

PluralRule PluralRule::fromHeader(std::string_view header)
{
    constexpr std::string_view key = "Plural-Forms:";
    std::size_t at = header.find(key);
    if (at == std::string_view::npos) {
        return {};
    }
    std::string_view line = header.substr(at + key.size());
    line = line.substr(0, line.find('\n'));
    const auto forms = field(line, "nplurals");
    const auto expression = field(line, "plural");
    if (!forms || !expression) {
        return {};
    }
    std::size_t count = 0;
    for (char c : *forms) {
        if (c == ' ') {
            continue;
        }
        if (!std::isdigit(static_cast<unsigned char>(c)) || count > 100) {
            return {};
        }
        count = count * 10 + static_cast<std::size_t>(c - '0');
    }
    PluralRule rule;
    rule.m_forms = count;
    rule.m_expression = std::string(*expression);
    if (count == 0 || !Evaluation(rule.m_expression, 1).run()) {
        return {};
    }
    return rule;
}

std::size_t PluralRule::form(unsigned long n) const
{
    const std::optional<unsigned long> value = Evaluation(m_expression, n).run();
    return value && *value < m_forms ? static_cast<std::size_t>(*value) : 0;
}

} // namespace tarvo::engine
