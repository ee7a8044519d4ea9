// SPDX-License-Identifier: GPL-3.0-or-later

#include "HistoryStore.h"

#include "engine/util/AppPaths.h"
#include "engine/util/FileSystem.h"
#include "engine/util/Uuid.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tarvo::engine {

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// 2001-01-01 00:00:00 UTC, the origin of the file's dates, in Unix microseconds.
constexpr std::int64_t referenceMicros = 978307200LL * 1'000'000;

std::optional<std::string> upperCaseUuid(std::string_view text)
{
    if (text.size() != 36) {
        return std::nullopt;
    }
    std::string result(text);
    for (std::size_t i = 0; i < result.size(); ++i) {
        char& c = result[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') {
                return std::nullopt;
            }
        } else if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return std::nullopt;
        }
    }
    return result;
}

std::optional<ArchiveRecord::TimePoint> dateFromSeconds(double seconds)
{
    // Far beyond what 64-bit microseconds can hold; such a file was not written by us.
    if (!std::isfinite(seconds) || std::fabs(seconds) > 9.0e12) {
        return std::nullopt;
    }
    // Whole seconds and fraction apart, so large dates keep their microseconds.
    const double whole = std::floor(seconds);
    const auto micros = static_cast<std::int64_t>(whole) * 1'000'000 + std::llround((seconds - whole) * 1e6);
    return ArchiveRecord::TimePoint(std::chrono::microseconds(micros + referenceMicros));
}

std::optional<ArchiveRecord> decodeRecord(const json& object)
{
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto field = [&object](const char* key) -> const json* {
        const auto it = object.find(key);
        return it == object.end() ? nullptr : &*it;
    };
    const json* id = field("id");
    const json* kind = field("kind");
    const json* format = field("format");
    const json* title = field("title");
    const json* outputPath = field("outputPath");
    const json* createdAt = field("createdAt");
    const json* succeeded = field("succeeded");
    if (id == nullptr || !id->is_string() || kind == nullptr || !kind->is_string() || format == nullptr ||
        !format->is_string() || title == nullptr || !title->is_string() || outputPath == nullptr ||
        !outputPath->is_string() || createdAt == nullptr || !createdAt->is_number() || succeeded == nullptr ||
        !succeeded->is_boolean()) {
        return std::nullopt;
    }
    auto uuid = upperCaseUuid(id->get_ref<const std::string&>());
    const auto jobKind = JobKind::fromRaw(kind->get_ref<const std::string&>());
    const auto archiveFormat = ArchiveFormat::fromRaw(format->get_ref<const std::string&>());
    const auto date = dateFromSeconds(createdAt->get<double>());
    if (!uuid || !jobKind || !archiveFormat || !date) {
        return std::nullopt;
    }
    ArchiveRecord record{std::move(*uuid),
                         *jobKind,
                         *archiveFormat,
                         title->get<std::string>(),
                         outputPath->get<std::string>(),
                         *date,
                         succeeded->get<bool>(),
                         {}};
    if (const json* kindTitle = field("kindTitle"); kindTitle != nullptr && kindTitle->is_string()) {
        record.kindTitle = kindTitle->get<std::string>();
    }
    return record;
}

// The whole content of a regular file; none when it cannot be read.
std::optional<std::string> readWhole(const fs::path& file)
{
    // Non-blocking, so that a pipe in the file's place cannot hang the open.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::string> content;
    struct stat info
    {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        content.emplace();
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0) {
                content->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0) {
                break;
            } else if (errno != EINTR) {
                content.reset();
                break;
            }
        }
    }
    ::close(fd);
    return content;
}

// A file in the way that does not decode is somebody's history all the same: keep one copy of it
// instead of overwriting it. False when it had to be kept and could not be.
bool setAsideUnusable(const fs::path& file)
{
    struct stat info
    {};
    if (::lstat(file.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    if (const auto content = readWhole(file); content && HistoryStore::decode(*content)) {
        return true;
    }
    fs::path bad = file;
    bad += ".bad";
    return ::rename(file.c_str(), bad.c_str()) == 0;
}

} // namespace

fs::path HistoryStore::fileURL()
{
    return AppPaths::supportDirectory() / "history.json";
}

std::string HistoryStore::encode(const std::vector<ArchiveRecord>& records)
{
    json array = json::array();
    for (const ArchiveRecord& record : records) {
        const double seconds =
            (static_cast<double>(record.createdAt.time_since_epoch().count()) - static_cast<double>(referenceMicros)) /
            1e6;
        json entry{{"id", record.id},
                   {"kind", record.kind.rawValue()},
                   {"format", record.format.rawValue()},
                   {"title", record.title},
                   {"outputPath", record.outputPath},
                   {"createdAt", seconds},
                   {"succeeded", record.succeeded}};
        if (!record.kindTitle.empty()) {
            entry["kindTitle"] = record.kindTitle;
        }
        array.push_back(std::move(entry));
    }
    return array.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<std::vector<ArchiveRecord>> HistoryStore::decode(std::string_view text)
{
    const json parsed = json::parse(text.begin(), text.end(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_array()) {
        return std::nullopt;
    }
    std::vector<ArchiveRecord> records;
    records.reserve(parsed.size());
    for (const json& element : parsed) {
        auto record = decodeRecord(element);
        if (!record) {
            return std::nullopt;
        }
        records.push_back(std::move(*record));
    }
    return records;
}

std::vector<ArchiveRecord> HistoryStore::load()
{
    return load(fileURL());
}

std::vector<ArchiveRecord> HistoryStore::load(const fs::path& file)
{
    const auto content = readWhole(file);
    if (!content) {
        return {};
    }
    return decode(*content).value_or(std::vector<ArchiveRecord>{});
}

bool HistoryStore::save(const std::vector<ArchiveRecord>& records)
{
    try {
        return save(records, fileURL());
    } catch (...) {
        return false;
    }
}

bool HistoryStore::save(const std::vector<ArchiveRecord>& records, const fs::path& file)
{
    try {
        std::error_code ignored;
        fs::create_directories(file.parent_path(), ignored);
        const std::string bytes = encode(records);
        return !replaceFile(file, bytes, [&] {
            return setAsideUnusable(file) ? std::error_code() : std::error_code(errno, std::generic_category());
        });
    } catch (...) {
        return false;
    }
}

} // namespace tarvo::engine
