// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/archive/EntryTable.h"

#include <gtest/gtest.h>

using namespace tarvo::engine;

namespace {

std::vector<std::string> found(const EntryTable& table, std::string_view typed)
{
    std::vector<std::string> paths;
    for (const EntryTable::Row row : table.matching(SearchQuery(typed))) {
        paths.push_back(table.path(row));
    }
    return paths;
}

} // namespace

TEST(EntryTable, HoldsEveryEntryAndFindsThemByPartOrPattern)
{
    EntryTable table;
    const std::vector<ArchiveEntry> entries = {
        {.path = "reports", .byteSize = 0, .isDirectory = true},
        {.path = "reports/2024", .byteSize = 0, .isDirectory = true},
        {.path = "reports/2024/Q3.pdf", .byteSize = 1200},
        {.path = "Photos/Café.JPG", .byteSize = 7},
        {.path = "Photos/cafe\u0301-2.jpg", .byteSize = 8}, // an accent of its own, as macOS stores it
        {.path = "Отчёт.txt", .byteSize = 3, .storedPath = "\x8e\xe2\xe7\xf1\xe2.txt"},
        {.path = "reports/2024/q4.pdf", .byteSize = 5},
        {.path = "STRASSE/Straße.txt", .byteSize = 9},
    };
    for (const ArchiveEntry& entry : entries) {
        table.add(entry);
    }
    table.finish();
    ASSERT_EQ(table.size(), entries.size());
    for (std::size_t row = 0; row < entries.size(); ++row) {
        EXPECT_EQ(table.entry(static_cast<EntryTable::Row>(row)), entries[row]);
    }

    using Paths = std::vector<std::string>;
    EXPECT_EQ(found(table, " "), Paths{});
    EXPECT_EQ(found(table, "2024/q"), (Paths{"reports/2024/Q3.pdf", "reports/2024/q4.pdf"}));
    EXPECT_EQ(found(table, "CAFE"), (Paths{"Photos/Café.JPG", "Photos/cafe\u0301-2.jpg"}));
    EXPECT_EQ(found(table, "отчет"), Paths{"Отчёт.txt"});
    EXPECT_EQ(found(table, "strasse/"), Paths{"STRASSE/Straße.txt"});
    EXPECT_EQ(found(table, "strasse.txt"), Paths{"STRASSE/Straße.txt"});
    // A pattern takes the whole path or the name; "*" crosses folders, "?" is one character.
    EXPECT_EQ(found(table, "*.pdf"), (Paths{"reports/2024/Q3.pdf", "reports/2024/q4.pdf"}));
    EXPECT_EQ(found(table, "q?.pdf"), (Paths{"reports/2024/Q3.pdf", "reports/2024/q4.pdf"}));
    EXPECT_EQ(found(table, "caf?.jpg"), Paths{"Photos/Café.JPG"});
    EXPECT_EQ(found(table, "reports/*"), (Paths{"reports/2024", "reports/2024/Q3.pdf", "reports/2024/q4.pdf"}));
    EXPECT_EQ(found(table, "2024"), (Paths{"reports/2024", "reports/2024/Q3.pdf", "reports/2024/q4.pdf"}));
    EXPECT_EQ(found(table, "*.pd"), Paths{});

    // A longer part looks only among the matches of the shorter; a newer query stops an older one.
    const SearchQuery shorter("q"), longer("q4");
    ASSERT_TRUE(longer.narrows(shorter));
    EXPECT_FALSE(SearchQuery("q*").narrows(shorter));
    const std::vector<EntryTable::Row> within = {2};
    EXPECT_EQ(table.matching(longer, &within), std::vector<EntryTable::Row>{});
    const std::atomic<bool> stopped = true;
    EXPECT_TRUE(table.matching(shorter, nullptr, &stopped).empty());
}
