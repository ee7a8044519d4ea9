#include "HistoryStore.h"

#include "TestSupport.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tarvo::engine;
using tarvo::test::namesIn;
using tarvo::test::readFile;
using tarvo::test::TempDir;
using tarvo::test::writeFile;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// 2001-01-01 00:00:00 UTC, where the file's dates count from.
const ArchiveRecord::TimePoint reference{std::chrono::sys_days(std::chrono::year(2001) / 1 / 1)};

ArchiveRecord record(std::string title, ArchiveRecord::TimePoint createdAt = reference + 10500ms)
{
    return {"0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3",
            JobKind::extract,
            ArchiveFormat::tarGz,
            std::move(title),
            "/home/u/out",
            createdAt,
            true};
}

// One record as the file holds it; `key` gets `value` instead, or is left out when `value` is empty.
std::string recordText(const std::string& key = "", const std::string& value = "")
{
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"id", R"("0a1b2c3d-4e5f-4a6b-8c7d-8e9fa0b1c2d3")"},
        {"kind", R"("compress")"},
        {"format", R"("7z")"},
        {"title", R"("t")"},
        {"outputPath", R"("/p")"},
        {"createdAt", "12"},
        {"succeeded", "false"}};
    std::string text;
    for (const auto& [name, json] : fields) {
        if (name == key && value.empty()) {
            continue;
        }
        text += (text.empty() ? "{" : ",") + ('"' + name + "\":") + (name == key ? value : json);
    }
    if (!key.empty() && !value.empty() && text.find('"' + key + '"') == std::string::npos) {
        text += ",\"" + key + "\":" + value;
    }
    return text + "}";
}

} // namespace

TEST(HistoryRecord, RoundTripsThroughTheFileForm)
{
    const auto now = ArchiveRecord::make(JobKind::compress, ArchiveFormat::sevenZip, "a.7z", "/x/a.7z", false);
    EXPECT_EQ(now.id.size(), 36u);
    EXPECT_EQ(now.id[14], '4');
    EXPECT_EQ(now.id.find_first_of("abcdef"), std::string::npos);
    EXPECT_LE(std::chrono::abs(ArchiveRecord::Clock::now() - now.createdAt), 5s);
    EXPECT_NE(ArchiveRecord::make(JobKind::compress, ArchiveFormat::zip, "", "", true).id, now.id);

    std::vector<ArchiveRecord> records = {
        now, record("quote \" back\\slash\nnew line\ttab"), record("Отчёт 年度 📦.zip", reference - 86400s - 1us),
        record("", reference + std::chrono::microseconds(987654321012345)), record("zero", reference)};
    records[4].kind = JobKind::compress;
    records[4].format = ArchiveFormat::rar;
    records[4].succeeded = false;
    EXPECT_EQ(HistoryStore::decode(HistoryStore::encode(records)), records);

    TempDir dir;
    ASSERT_TRUE(HistoryStore::save(records, dir / "history.json"));
    EXPECT_EQ(HistoryStore::load(dir / "history.json"), records);

    // Bytes that are not UTF-8 cannot go into JSON as they are; they must not stop the save.
    const auto saved = HistoryStore::decode(HistoryStore::encode({record("bad \xFF\xC3 end")}));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->at(0).title, "bad \xEF\xBF\xBD\xEF\xBF\xBD end");
}

TEST(HistoryRecord, HasTheFileFormsKeysAndValues)
{
    EXPECT_EQ(HistoryStore::encode({record("a\"b")}),
              R"([{"createdAt":10.5,"format":"tar.gz","id":"0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3","kind":"extract",)"
              R"("outputPath":"/home/u/out","succeeded":true,"title":"a\"b"}])");
    EXPECT_EQ(HistoryStore::encode({}), "[]");

    // Any letter case reads, whole seconds read, and keys beyond the seven are ignored.
    const auto decoded = HistoryStore::decode("[" + recordText("extra", R"({"x":[1]})") + "]");
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->size(), 1u);
    const ArchiveRecord expected{"0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3",
                                 JobKind::compress,
                                 ArchiveFormat::sevenZip,
                                 "t",
                                 "/p",
                                 reference + 12s,
                                 false};
    EXPECT_EQ(decoded->front(), expected);
    EXPECT_EQ(HistoryStore::decode(R"( [ ] )"), std::vector<ArchiveRecord>{});
}

TEST(HistoryDecode, OneBadRecordMakesTheWholeFileUnusable)
{
    const std::string good = recordText();
    ASSERT_TRUE(HistoryStore::decode("[" + good + "," + good + "]"));
    const std::vector<std::string> bad = {
        recordText("succeeded"),
        recordText("format", R"("tgz")"),
        recordText("format", R"("ZIP")"),
        recordText("kind", R"("archive")"),
        recordText("id", R"("not-a-uuid")"),
        recordText("id", R"("0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2DG")"),
        recordText("id", "7"),
        recordText("createdAt", R"("2024-01-01")"),
        recordText("createdAt", "1e300"),
        recordText("succeeded", R"("true")"),
        recordText("title", "null"),
        recordText("outputPath", "[]"),
    };
    for (const std::string& record : bad) {
        EXPECT_EQ(HistoryStore::decode("[" + good + "," + record + "]"), std::nullopt) << record;
    }
    for (const char* text : {"", "garbage", "{}", "null", "[1]", "[[]]", R"([{"id":1})", "[\"\xFF\"]"}) {
        EXPECT_EQ(HistoryStore::decode(text), std::nullopt) << text;
    }
}

TEST(HistoryLoad, GivesAnEmptyHistoryAndLeavesTheFileAlone)
{
    TempDir dir;
    EXPECT_TRUE(HistoryStore::load(dir / "history.json").empty());
    EXPECT_TRUE(HistoryStore::load(dir.path()).empty());

    const std::string unusable = "[" + recordText("format", R"("tgz")") + "]";
    writeFile(dir / "history.json", unusable);
    EXPECT_TRUE(HistoryStore::load(dir / "history.json").empty());
    EXPECT_EQ(readFile(dir / "history.json"), unusable);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"history.json"});
}

TEST(HistorySave, CreatesFoldersAndKeepsOneCopyOfAnUnusableFile)
{
    TempDir dir;
    const fs::path file = dir / "a/b/history.json";
    ASSERT_TRUE(HistoryStore::save({record("one")}, file));
    EXPECT_EQ(HistoryStore::load(file), std::vector{record("one")});

    // A good file is simply replaced.
    ASSERT_TRUE(HistoryStore::save({}, file));
    EXPECT_EQ(readFile(file), "[]");
    EXPECT_EQ(namesIn(file.parent_path()), std::vector<std::string>{"history.json"});

    writeFile(file, "[{\"id\": tru");
    ASSERT_TRUE(HistoryStore::save({record("two")}, file));
    EXPECT_EQ(readFile(dir / "a/b/history.json.bad"), "[{\"id\": tru");
    writeFile(file, "second");
    ASSERT_TRUE(HistoryStore::save({record("three")}, file));
    EXPECT_EQ(readFile(dir / "a/b/history.json.bad"), "second");
    EXPECT_EQ(HistoryStore::load(file), std::vector{record("three")});
    EXPECT_EQ(namesIn(file.parent_path()), (std::vector<std::string>{"history.json", "history.json.bad"}));
}

TEST(HistorySave, AFailedWriteLeavesTheOldFileAsItWas)
{
    TempDir dir;
    const fs::path file = dir / "history.json";
    ASSERT_TRUE(HistoryStore::save({record("old")}, file));
    const std::string old = readFile(file);
    const std::vector<ArchiveRecord> large(40, record(std::string(500, 'x')));

    // The file size limit cuts the temporary file short, as a full disk would.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(HistoryStore::save(large, file) ? 1 : 0);
    }
    int status = -1;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            FAIL() << "the save did not end";
        }
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save claimed success";
    EXPECT_EQ(readFile(file), old);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"history.json"});

    writeFile(dir / "plain", "not a folder");
    EXPECT_FALSE(HistoryStore::save({record("x")}, dir / "plain/history.json"));
    EXPECT_EQ(readFile(dir / "plain"), "not a folder");
    EXPECT_FALSE(HistoryStore::save({record("x")}, "/proc/tarvo-none/history.json"));
}

TEST(HistoryStore, LivesInTheDataFolder)
{
    TempDir dir;
    const tarvo::test::ScopedEnv dataHome("XDG_DATA_HOME", dir.path().string());
    EXPECT_EQ(HistoryStore::fileURL(), dir / "Tarvo/history.json");
    EXPECT_TRUE(HistoryStore::load().empty());
    ASSERT_TRUE(HistoryStore::save({record("here")}));
    EXPECT_EQ(HistoryStore::load(dir / "Tarvo/history.json"), std::vector{record("here")});
    EXPECT_EQ(HistoryStore::load(), std::vector{record("here")});
}
