#include "HistoryStore.h"

#include "AppPaths.h"
#include "Uuid.h"

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
    return ArchiveRecord{std::move(*uuid),
                         *jobKind,
                         *archiveFormat,
                         title->get<std::string>(),
                         outputPath->get<std::string>(),
                         *date,
                         succeeded->get<bool>()};
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

// A temporary file beside the target; removed again unless it was renamed into place.
class TemporaryFile
{
public:
    explicit TemporaryFile(fs::path path)
        : m_path(std::move(path))
    {}
    ~TemporaryFile()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        if (m_created && !m_moved) {
            ::unlink(m_path.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Writes and flushes every byte to the disk.
    bool write(std::string_view bytes)
    {
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            return false;
        }
        m_created = true;
        while (!bytes.empty()) {
            const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        if (::fsync(m_fd) != 0) {
            return false;
        }
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0;
    }

    bool moveTo(const fs::path& target)
    {
        m_moved = ::rename(m_path.c_str(), target.c_str()) == 0;
        return m_moved;
    }

private:
    fs::path m_path;
    int m_fd = -1;
    bool m_created = false;
    bool m_moved = false;
};

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

void syncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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
        array.push_back(json{{"id", record.id},
                             {"kind", record.kind.rawValue()},
                             {"format", record.format.rawValue()},
                             {"title", record.title},
                             {"outputPath", record.outputPath},
                             {"createdAt", seconds},
                             {"succeeded", record.succeeded}});
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
        const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
        std::error_code ignored;
        fs::create_directories(folder, ignored);
        const std::string bytes = encode(records);
        TemporaryFile temporary(folder / ("." + file.filename().string() + ".tmp-" + makeUuid()));
        if (!temporary.write(bytes) || !setAsideUnusable(file) || !temporary.moveTo(file)) {
            return false;
        }
        syncFolder(folder);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace tarvo::engine
