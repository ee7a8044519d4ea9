// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What a search over entry paths compares: text with letter case and accents set aside, so that
// "cafe" finds "Café.txt" whether the archive stores the é composed or as e and an accent.
namespace tarvo::engine {

// Appends `text` folded: lower case (ASCII, Latin, Greek, Cyrillic), Latin letters without their
// accents ("é" → "e", "ß" → "ss"), combining accents dropped, full-width ASCII as ASCII. Bytes that
// are no UTF-8 are kept as they are.
void appendSearchFolded(std::string& out, std::string_view text);
std::string searchFolded(std::string_view text);

// A query as the preview's search field takes it: a part of a path, or, with "*" or "?" in it, a
// pattern that a whole path or the entry's own name must match ("*" any run of characters, slashes
// included; "?" one character). Matched against folded text.
class SearchQuery
{
public:
    explicit SearchQuery(std::string_view typed);

    // Whether it filters at all: a blank query does not.
    bool empty() const { return m_folded.empty(); }
    bool isPattern() const { return m_pattern; }
    const std::string& folded() const { return m_folded; }
    // `path` and its last component `name`, both folded.
    bool matches(std::string_view path, std::string_view name) const;
    // Whether every match of this query is one of `earlier`'s too, so that it may look only there.
    bool narrows(const SearchQuery& earlier) const;

private:
    std::string m_folded;
    bool m_pattern = false;
    // A pattern's runs without "*" or "?", as offsets and sizes in m_folded: a path that matches
    // holds each of them, in this order.
    std::vector<std::pair<std::size_t, std::size_t>> m_literals;
};

// Whether `text` matches the glob `pattern` as a whole ("*" and "?" only; "?" takes one UTF-8
// character).
bool globMatches(std::string_view pattern, std::string_view text);

} // namespace tarvo::engine
