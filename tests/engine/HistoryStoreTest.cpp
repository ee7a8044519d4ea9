// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/history/HistoryStore.h"

#include "TestSupport.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace tarvo::engine;
using namespace tarvo::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// 2001-01-01 00:00:00 UTC, where the file's dates count from.
const ArchiveRecord::TimePoint reference{std::chrono::sys_days(std::chrono::year(2001) / 1 / 1)};

ArchiveRecord record(std::string title, ArchiveRecord::TimePoint createdAt = reference + 10500ms)
{
    const char* const id = "0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3";
    return {id, JobKind::extract, ArchiveFormat::tarGz, std::move(title), "/home/u/out", createdAt, true, {}};
}

} // namespace

TEST(HistoryRecord, RoundTripsThroughTheFileFormWithItsExactKeysAndValues)
{
    const auto now = ArchiveRecord::make(JobKind::compress, ArchiveFormat::sevenZip, "a.7z", "/x/a.7z", false);
    EXPECT_EQ(now.id.size(), 36u);
    EXPECT_EQ(now.id[14], '4');
    EXPECT_EQ(now.id.find_first_of("abcdef"), std::string::npos);
    EXPECT_LE(std::chrono::abs(ArchiveRecord::Clock::now() - now.createdAt), 5s);
    EXPECT_NE(ArchiveRecord::make(JobKind::compress, ArchiveFormat::zip, "", "", true).id, now.id);

    ArchiveRecord ownKind = record("src");
    ownKind.kindTitle = "tar.xz";
    std::vector<ArchiveRecord> records = {now, ownKind, record("quote \" back\\slash\nnew line\ttab"),
                                          record("Отчёт 年度 📦.zip", reference - 86400s - 1us),
                                          record("", reference + std::chrono::microseconds(987654321012345))};
    TempDir dir;
    ASSERT_TRUE(HistoryStore::save(records, dir / "history.json"));
    EXPECT_EQ(HistoryStore::load(dir / "history.json"), records);

    EXPECT_EQ(HistoryStore::encode({record("a\"b")}),
              R"([{"createdAt":10.5,"format":"tar.gz","id":"0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3","kind":"extract",)"
              R"("outputPath":"/home/u/out","succeeded":true,"title":"a\"b"}])");
    // Bytes that are not UTF-8 cannot go into JSON as they are; they must not stop the save.
    EXPECT_EQ(HistoryStore::decode(HistoryStore::encode({record("bad \xFF\xC3 end")})),
              std::vector{record("bad \xEF\xBF\xBD\xEF\xBF\xBD end")});
    EXPECT_NE(HistoryStore::encode({ownKind}).find(R"("kindTitle":"tar.xz")"), std::string::npos);
    // Any letter case reads, whole seconds read, and keys beyond the seven are ignored.
    const auto decoded = HistoryStore::decode(
        R"( [{"id":"0a1b2c3d-4e5f-4a6b-8c7d-8e9fa0b1c2d3","kind":"extract","format":"tar.gz","title":"t",)"
        R"("outputPath":"/home/u/out","createdAt":12,"succeeded":true,"extra":{"x":[1]}}] )");
    EXPECT_EQ(decoded, std::vector{record("t", reference + 12s)});
}

TEST(HistoryDecode, OneBadRecordMakesTheWholeFileUnusable)
{
    std::string good = HistoryStore::encode({record("t")});
    good = good.substr(1, good.size() - 2);
    const auto withOneBad = [&](const std::string& from, const std::string& to) {
        std::string bad = good;
        return "[" + good + "," + bad.replace(bad.find(from), from.size(), to) + "]";
    };
    EXPECT_EQ(HistoryStore::decode(withOneBad(R"("t")", R"("u")")), (std::vector{record("t"), record("u")}));
    // A missing key, an unknown value, a wrong type, a date beyond any clock.
    const std::pair<const char*, const char*> breakages[] = {
        {R"(,"succeeded":true)", ""},    {R"("tar.gz")", R"("tgz")"}, {R"("extract")", R"("archive")"},
        {R"(C2D3")", R"(C2DG")"},        {"10.5", R"("2024-01-01")"}, {"10.5", "1e300"},
        {"true", R"("true")"},           {R"("t")", "null"},          {R"("/home/u/out")", "[]"},
        {R"("id":")", R"("id":7,"x":")"}};
    for (const auto& [from, to] : breakages) {
        EXPECT_EQ(HistoryStore::decode(withOneBad(from, to)), std::nullopt) << to;
    }
    for (const char* text : {"", "{}", "[1]", "[\"\xFF\"]"}) {
        EXPECT_EQ(HistoryStore::decode(text), std::nullopt) << text;
    }
    EXPECT_EQ(HistoryStore::decode(" [ ] "), std::vector<ArchiveRecord>{});
}

TEST(HistoryStore, ItsFileInTheDataFolderIsLeftAloneByLoadAndSaveKeepsOneCopyOfAnUnusableOne)
{
    TempDir dir;
    const ScopedEnv dataHome("XDG_DATA_HOME", (dir / "data").string());
    const fs::path file = HistoryStore::fileURL();
    EXPECT_EQ(file, dir / "data/Tarvo/history.json");
    EXPECT_TRUE(HistoryStore::load().empty());
    EXPECT_TRUE(HistoryStore::load(dir.path()).empty());
    writeFile(file, "[{\"id\": tru");
    EXPECT_TRUE(HistoryStore::load(file).empty());
    EXPECT_EQ(namesIn(file.parent_path()), std::vector<std::string>{"history.json"});

    ASSERT_TRUE(HistoryStore::save({record("one")}));
    EXPECT_EQ(readFile(dir / "data/Tarvo/history.json.bad"), "[{\"id\": tru");
    ASSERT_TRUE(HistoryStore::save({}, file)); // a good file is simply replaced
    EXPECT_EQ(readFile(file), "[]");
    writeFile(file, "second");
    ASSERT_TRUE(HistoryStore::save({record("two")}, file));
    EXPECT_EQ(readFile(dir / "data/Tarvo/history.json.bad"), "second");
    EXPECT_EQ(HistoryStore::load(), std::vector{record("two")});
    EXPECT_EQ(namesIn(file.parent_path()), (std::vector<std::string>{"history.json", "history.json.bad"}));

    // The file size limit cuts the temporary file short, as a full disk would.
    const std::string old = readFile(file);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit limit{64, saved.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool savedLarge = HistoryStore::save(std::vector(40, record(std::string(500, 'x'))), file);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(savedLarge);
    EXPECT_EQ(readFile(file), old);
    EXPECT_EQ(namesIn(file.parent_path()), (std::vector<std::string>{"history.json", "history.json.bad"}));

    EXPECT_FALSE(HistoryStore::save({record("x")}, file / "history.json"));
    EXPECT_EQ(readFile(file), old);
}
