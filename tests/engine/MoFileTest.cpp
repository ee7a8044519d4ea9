// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/l10n/MoFile.h"

#include "TestSupport.h"
#include "engine/l10n/PluralRule.h"

#include <cstdint>
#include <gtest/gtest.h>

using namespace tarvo::engine;
using namespace tarvo::test;
using namespace std::string_literals;

namespace {

struct Row
{
    std::string original;
    std::string translation;
};

// A catalog as msgfmt lays it out: header, the two tables, then the strings, each ending in NUL.
std::string moBytes(const std::vector<Row>& rows, bool bigEndian = false)
{
    std::string bytes;
    const auto word = [&](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<char>(value >> (bigEndian ? 8 * (3 - i) : 8 * i)));
        }
    };
    const auto count = static_cast<std::uint32_t>(rows.size());
    word(0x950412de);
    word(0);
    word(count);
    word(28);
    word(28 + 8 * count);
    word(0);
    word(0);
    auto offset = static_cast<std::uint32_t>(28 + 16 * rows.size());
    std::string strings;
    for (const bool translations : {false, true}) {
        for (const Row& row : rows) {
            const std::string& text = translations ? row.translation : row.original;
            word(static_cast<std::uint32_t>(text.size()));
            word(offset);
            offset += static_cast<std::uint32_t>(text.size() + 1);
            strings.append(text).push_back('\0');
        }
    }
    return bytes + strings;
}

const std::vector<Row> kRows = {
    {"", "Content-Type: text/plain; charset=UTF-8\nPlural-Forms: nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : "
         "n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);\n"},
    {"compress\4Compress", "Сжать"},
    {"daysAgo\4%1 day ago\0%1 days ago"s, "%1 день назад\0%1 дня назад\0%1 дней назад"s},
    {"untranslated\4Kept", ""},
};

void overwrite(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
}

} // namespace

TEST(MoFile, ReadsTextsByContextInEitherByteOrder)
{
    for (const bool bigEndian : {false, true}) {
        const auto file = MoFile::parse(moBytes(kRows, bigEndian));
        ASSERT_TRUE(file);
        EXPECT_EQ(file->find("compress", "Compress"), "Сжать");
        EXPECT_EQ(file->find("", "Compress"), std::nullopt);
        EXPECT_EQ(file->find("daysAgo", "%1 day ago"), "%1 день назад\0%1 дня назад\0%1 дней назад"s);
        // An empty translation is no translation.
        EXPECT_EQ(file->find("untranslated", "Kept"), std::nullopt);
        const PluralRule rule = PluralRule::fromHeader(file->header());
        EXPECT_EQ(rule.formCount(), 3u);
    }
}

TEST(MoFile, RefusesEveryTruncationAndOffsetOutsideTheFile)
{
    const std::string whole = moBytes(kRows);
    // Every cut: the last string loses its NUL or more, so no cut reads as a catalog.
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_FALSE(MoFile::parse(whole.substr(0, size))) << size;
    }
    const auto broken = [&](std::size_t at, std::uint32_t value) {
        std::string bytes = whole;
        overwrite(bytes, at, value);
        return MoFile::parse(bytes).has_value();
    };
    EXPECT_FALSE(broken(0, 0x12345678));  // magic
    EXPECT_FALSE(broken(4, 2u << 16));    // an unknown major revision
    EXPECT_FALSE(broken(8, 0xffffffff));  // count
    EXPECT_FALSE(broken(8, 5));           // one row more than the tables hold
    EXPECT_FALSE(broken(12, 0xfffffff0)); // originals' table
    EXPECT_FALSE(broken(16, static_cast<std::uint32_t>(whole.size() - 4)));
    EXPECT_FALSE(broken(28 + 8, 0xffffffff));                                       // a length running past the end
    EXPECT_FALSE(broken(28 + 8 + 4, 0xfffffffc));                                   // an offset past the end
    EXPECT_FALSE(broken(28 + 8 + 4, static_cast<std::uint32_t>(whole.size() - 1))); // no room for a NUL
    // A string that does not end in NUL.
    std::string unterminated = whole;
    unterminated.back() = 'x';
    EXPECT_FALSE(MoFile::parse(unterminated));
    EXPECT_TRUE(broken(4, 1)); // minor revisions read alike

    TempDir tmp;
    writeFile(tmp / "cut.mo", whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(MoFile::read(tmp / "cut.mo"));
    EXPECT_FALSE(MoFile::read(tmp / "missing.mo"));
    EXPECT_FALSE(MoFile::read(tmp.path()));
}

TEST(PluralRule, PicksTheFormAndSurvivesHostileRules)
{
    const auto rule = [](std::string_view plural) {
        return PluralRule::fromHeader("Plural-Forms: nplurals=3; plural=" + std::string(plural) + ";\n");
    };
    const PluralRule russian =
        rule("(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2)");
    std::string forms;
    for (unsigned long n : {0, 1, 2, 4, 5, 11, 12, 14, 21, 22, 25, 101, 111, 112}) {
        forms += std::to_string(russian.form(n));
    }
    EXPECT_EQ(forms, "20112222012022");
    EXPECT_EQ(PluralRule::fromHeader("Plural-Forms: nplurals=2; plural=(n > 1);").form(0), 0u);
    EXPECT_EQ(PluralRule::fromHeader("Plural-Forms: nplurals=2; plural=(n > 1);").form(2), 1u);
    EXPECT_EQ(PluralRule::fromHeader("Plural-Forms: nplurals=1; plural=0;").form(7), 0u);
    EXPECT_EQ(rule("!(n <= 1) + (n >= 5) - 0 * 3 / 1").form(9), 2u);

    // Without a rule, or with one that does not read, English's: the second form for all but one.
    const std::string deep = std::string(70, '(') + "n" + std::string(70, ')');
    const std::string_view bad[] = {"", "n +", "(n", "n ? 1", "x", "n % 0", deep};
    for (const std::string_view text : bad) {
        const PluralRule fallback = rule(text);
        EXPECT_EQ(fallback.formCount(), 2u) << text;
        EXPECT_EQ(fallback.form(1), 0u) << text;
        EXPECT_EQ(fallback.form(3), 1u) << text;
    }
    EXPECT_EQ(PluralRule::fromHeader("Content-Type: text/plain\n").formCount(), 2u);
    // A rule that picks a form the catalog lacks gives the first.
    EXPECT_EQ(rule("n").form(7), 0u);
    EXPECT_EQ(PluralRule::fromHeader("Plural-Forms: nplurals=2; plural=n/n;").form(0), 0u);
}
