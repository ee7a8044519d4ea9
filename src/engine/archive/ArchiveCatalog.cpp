#include "ArchiveCatalog.h"

#include "engine/l10n/L10n.h"
#include "engine/tools/ListerStatus.h"
#include "engine/tools/ProcessRunner.h"
#include "engine/tools/ToolLocator.h"
#include "engine/util/LegacyNames.h"
#include "engine/util/PathText.h"
#include "engine/util/TextUtil.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveKind.h"
#include "engine/vocabulary/ArchiveNames.h"

#include <condition_variable>
#include <deque>
#include <fstream>
#include <istream>
#include <limits>
#include <mutex>
#include <nlohmann/json.hpp>
#include <streambuf>
#include <thread>
#include <unordered_set>

namespace tarvo::engine {

namespace {

// XADMaster's error number for a wrong or missing password.
constexpr std::int64_t kListerPasswordError = 15;
// How many entries a streaming listing holds back before it hands them on: until then another
// lister can take over from one that fails; once they are handed on, none can.
constexpr std::size_t kHeldEntries = 100'000;

using EntrySink = ArchiveCatalog::EntrySink;

// Hands the entries held so far to `sink`, with their links, and forgets them.
void handOn(ArchiveListing& listing, const EntrySink& sink)
{
    auto link = listing.links.begin();
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        while (link != listing.links.end() && link->entry < i) {
            ++link;
        }
        sink(listing.entries[i], link != listing.links.end() && link->entry == i ? &*link : nullptr);
    }
    listing.entries.clear();
    listing.links.clear();
    listing.indexes.clear();
}

// A scalar JSON value as the listing reads it.
struct Scalar
{
    enum class Kind
    {
        other,
        boolean,
        number,
        string,
    } kind = Kind::other;
    bool flag = false;
    double number = 0;
    std::int64_t whole = 0;
    bool isWhole = false;
    std::string text;

    // Booleans as themselves, numbers as non-zero, anything else as false.
    bool asBool() const
    {
        return kind == Kind::boolean ? flag : kind == Kind::number && (isWhole ? whole != 0 : number != 0);
    }

    // Numbers as 64-bit integers (fractions cut toward zero), anything else as 0.
    std::int64_t asInteger() const
    {
        if (kind != Kind::number) {
            return 0;
        }
        if (isWhole) {
            return whole;
        }
        if (!(number == number)) {
            return 0;
        }
        if (number >= 9.2233720368547758e18) {
            return std::numeric_limits<std::int64_t>::max();
        }
        if (number <= -9.2233720368547758e18) {
            return std::numeric_limits<std::int64_t>::min();
        }
        return static_cast<std::int64_t>(number);
    }
};

// Reads lsar's JSON without building a document: only the keys the listing needs are kept.
class ListingReader : public nlohmann::json_sax<nlohmann::json>
{
public:
    ArchiveListing listing;
    bool topLevelIsObject = false;
    bool failed = false;

    bool null() override { return value(Scalar{}); }
    bool boolean(bool flag) override
    {
        Scalar scalar;
        scalar.kind = Scalar::Kind::boolean;
        scalar.flag = flag;
        return value(scalar);
    }
    bool number_integer(number_integer_t number) override { return whole(number); }
    bool number_unsigned(number_unsigned_t number) override
    {
        const auto max = static_cast<number_unsigned_t>(std::numeric_limits<std::int64_t>::max());
        return whole(number > max ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(number));
    }
    bool number_float(number_float_t number, const string_t&) override
    {
        Scalar scalar;
        scalar.kind = Scalar::Kind::number;
        scalar.number = number;
        return value(scalar);
    }
    bool string(string_t& text) override
    {
        Scalar scalar;
        scalar.kind = Scalar::Kind::string;
        scalar.text = std::move(text);
        return value(scalar);
    }
    bool binary(binary_t&) override { return value(Scalar{}); }

    bool start_object(std::size_t) override
    {
        if (m_depth == 0) {
            topLevelIsObject = true;
        } else if (m_depth == 1 && m_rootKey == "lsarProperties") {
            m_inProperties = true;
            m_propertiesEncrypted = false;
        } else if (m_depth == 2 && m_inContents) {
            m_entry = Pending{};
            m_inEntry = true;
        } else {
            nestedValue();
        }
        ++m_depth;
        return true;
    }
    bool end_object() override
    {
        --m_depth;
        if (m_depth == 2 && m_inEntry) {
            finishEntry();
        } else if (m_depth == 1 && m_inProperties) {
            m_inProperties = false;
            m_properties = true;
        }
        return true;
    }
    bool start_array(std::size_t) override
    {
        if (m_depth == 1 && m_rootKey == "lsarContents") {
            // A later "lsarContents" replaces an earlier one, as a document reader would.
            m_inContents = true;
            m_contentsValid = true;
            m_contents.clear();
        } else {
            nestedValue();
        }
        ++m_depth;
        return true;
    }
    bool end_array() override
    {
        --m_depth;
        if (m_depth == 1 && m_inContents) {
            m_inContents = false;
            m_haveContents = true;
        }
        return true;
    }
    bool key(string_t& name) override
    {
        if (m_depth == 1) {
            m_rootKey = std::move(name);
        } else if (m_depth == 2 && m_inProperties) {
            m_propertyKey = std::move(name);
        } else if (m_depth == 3 && m_inEntry) {
            m_entryKey = std::move(name);
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override
    {
        failed = true;
        return false;
    }

    void finish()
    {
        listing.hasContents = m_haveContents;
        bool encrypted = m_properties && m_propertiesEncrypted;
        if (m_haveContents && m_contentsValid) {
            for (Pending& entry : m_contents) {
                encrypted = encrypted || entry.encrypted;
                if (!entry.link.empty()) {
                    listing.links.push_back({listing.entries.size(), std::move(entry.link), entry.hardLink});
                }
                listing.indexes.push_back(entry.index);
                listing.entries.push_back({std::move(entry.name), entry.size, entry.isDirectory});
            }
        }
        listing.isEncrypted = encrypted;
    }

private:
    struct Pending
    {
        std::string name;
        std::int64_t size = 0;
        std::int64_t index = -1;
        std::string link;
        bool hardLink = false;
        bool isDirectory = false;
        bool encrypted = false;
    };

    bool whole(std::int64_t number)
    {
        Scalar scalar;
        scalar.kind = Scalar::Kind::number;
        scalar.whole = number;
        scalar.number = static_cast<double>(number);
        scalar.isWhole = true;
        return value(scalar);
    }

    // A value that is not an object where an entry should be spoils the contents list.
    void nestedValue()
    {
        if (m_depth == 2 && m_inContents) {
            m_contentsValid = false;
        }
    }

    bool value(const Scalar& scalar)
    {
        if (m_depth == 1) {
            if (m_rootKey == "lsarError") {
                listing.listerError = scalar.asInteger();
            }
        } else if (m_depth == 2 && m_inContents) {
            m_contentsValid = false;
        } else if (m_depth == 2 && m_inProperties) {
            if (m_propertyKey == "XADIsEncrypted") {
                m_propertiesEncrypted = scalar.asBool();
            }
        } else if (m_depth == 3 && m_inEntry) {
            if (m_entryKey == "XADFileName") {
                m_entry.name = scalar.kind == Scalar::Kind::string ? scalar.text : std::string();
            } else if (m_entryKey == "XADIsDirectory") {
                m_entry.isDirectory = scalar.asBool();
            } else if (m_entryKey == "XADIsEncrypted") {
                m_entry.encrypted = scalar.asBool();
            } else if (m_entryKey == "XADFileSize") {
                m_entry.size = scalar.asInteger();
            } else if (m_entryKey == "XADLinkDestination") {
                m_entry.link = scalar.kind == Scalar::Kind::string ? scalar.text : std::string();
            } else if (m_entryKey == "XADIsHardLink") {
                m_entry.hardLink = scalar.asBool();
            } else if (m_entryKey == "XADIndex") {
                m_entry.index = scalar.kind == Scalar::Kind::number ? scalar.asInteger() : -1;
            }
        }
        return true;
    }

    void finishEntry()
    {
        m_inEntry = false;
        // A nameless entry is left out, and so is its encryption mark.
        if (!m_entry.name.empty()) {
            m_contents.push_back(std::move(m_entry));
        }
    }

    std::size_t m_depth = 0;
    std::string m_rootKey;
    std::string m_propertyKey;
    std::string m_entryKey;
    bool m_inProperties = false;
    bool m_properties = false;
    bool m_propertiesEncrypted = false;
    bool m_inContents = false;
    bool m_contentsValid = true;
    bool m_haveContents = false;
    bool m_inEntry = false;
    Pending m_entry;
    std::vector<Pending> m_contents;
};

// The first `count` characters (code points) of UTF-8 text.
std::string firstCharacters(std::string_view text, std::size_t count)
{
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size() && seen < count; ++seen) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            ++end;
        }
    }
    return std::string(text.substr(0, end));
}

ArchiveError emptyListing()
{
    return ArchiveError::toolFailed("lsar", 1, L10n::text(Text::listingEmpty));
}

// The verdict on a parse: `head` is the start of the output, for the message when it was no JSON.
ArchiveListing finishParse(ListingReader& reader, bool parsed, std::string_view head)
{
    if (!parsed || reader.failed) {
        if (trimmed(head).empty()) {
            throw emptyListing();
        }
        throw ArchiveError::toolFailed("lsar", 1, firstCharacters(head, 180));
    }
    if (!reader.topLevelIsObject) {
        throw emptyListing();
    }
    reader.finish();
    return std::move(reader.listing);
}

// Carries lsar's output, in chunks, from the thread that reads the tool to the one that parses
// it, so that a listing of 100,000 entries is read while lsar is still writing it and never has
// to be held whole.
class ChunkChannel : public std::streambuf
{
public:
    void push(std::string chunk)
    {
        std::lock_guard guard(m_lock);
        if (!m_abandoned) {
            m_chunks.push_back(std::move(chunk));
            m_ready.notify_one();
        }
    }
    void close()
    {
        std::lock_guard guard(m_lock);
        m_closed = true;
        m_ready.notify_one();
    }
    // The reader has stopped: what comes later is dropped.
    void abandon()
    {
        std::lock_guard guard(m_lock);
        m_abandoned = true;
        m_chunks.clear();
    }

protected:
    int_type underflow() override
    {
        std::unique_lock guard(m_lock);
        m_ready.wait(guard, [this] { return !m_chunks.empty() || m_closed; });
        if (m_chunks.empty()) {
            return traits_type::eof();
        }
        m_current = std::move(m_chunks.front());
        m_chunks.pop_front();
        setg(m_current.data(), m_current.data(), m_current.data() + m_current.size());
        return traits_type::to_int_type(m_current.front());
    }

private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<std::string> m_chunks;
    std::string m_current;
    bool m_closed = false;
    bool m_abandoned = false;
};

// Parses on a thread of its own what the tool prints; finish() waits for the verdict.
class StreamingParse
{
public:
    StreamingParse()
        : m_thread([this] { parse(); })
    {}
    ~StreamingParse() { m_channel.close(); }
    StreamingParse(const StreamingParse&) = delete;
    StreamingParse& operator=(const StreamingParse&) = delete;

    void line(std::string_view text)
    {
        if (m_head.size() < 1024) {
            m_head.append(m_head.empty() ? "" : "\n").append(text);
        }
        m_pending.append(text).push_back('\n');
        if (m_pending.size() >= kChunk) {
            m_channel.push(std::move(m_pending));
            m_pending.clear();
        }
    }

    ArchiveListing finish()
    {
        m_channel.push(std::move(m_pending));
        m_channel.close();
        m_thread.join();
        if (m_error) {
            std::rethrow_exception(m_error);
        }
        return finishParse(m_reader, m_parsed, m_head);
    }

private:
    static constexpr std::size_t kChunk = 256 * 1024;

    void parse()
    {
        try {
            std::istream input(&m_channel);
            m_parsed = nlohmann::json::sax_parse(input, &m_reader);
        } catch (...) {
            m_error = std::current_exception();
        }
        m_channel.abandon();
    }

    ChunkChannel m_channel;
    ListingReader m_reader;
    bool m_parsed = false;
    std::exception_ptr m_error;
    std::string m_head;
    std::string m_pending;
    std::jthread m_thread; // last: it starts once everything above exists
};

// A name as bsdtar prints it, without its escapes and trailing slashes.
std::string unescapedTarName(std::string_view rest)
{
    while (rest.size() > 1 && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    std::string name;
    // bsdtar writes a backslash as "\\", control characters as "\n" and the like, and other bytes
    // it will not print as three octal digits.
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c != '\\' || i + 1 == rest.size()) {
            name += c;
            continue;
        }
        const char next = rest[++i];
        static constexpr std::string_view kLetters = "abfnrtv\\";
        static constexpr std::string_view kControls = "\a\b\f\n\r\t\v\\";
        if (const std::size_t at = kLetters.find(next); at != std::string_view::npos) {
            name += kControls[at];
        } else if (i + 2 < rest.size() && next >= '0' && next <= '3' && rest[i + 1] >= '0' && rest[i + 1] <= '7' &&
                   rest[i + 2] >= '0' && rest[i + 2] <= '7') {
            name += static_cast<char>((next - '0') * 64 + (rest[i + 1] - '0') * 8 + (rest[i + 2] - '0'));
            i += 2;
        } else {
            name += '\\';
            name += next;
        }
    }
    return name;
}

// Splits off the next field of a line of blank-separated fields.
std::string_view nextField(std::string_view& rest)
{
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const std::size_t end = rest.find(' ');
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return field;
}

// The format tarvo-lister is told to read for a kind; none for the kinds lsar lists.
std::optional<std::string_view> listerFormat(ArchiveKind kind)
{
    if (kind == ArchiveKind::zip || kind == ArchiveKind::jar || kind == ArchiveKind::zipx) {
        return "zip";
    }
    if (kind == ArchiveKind::sevenZip) {
        return "7z";
    }
    if (kind.isTar()) {
        return "tar";
    }
    return std::nullopt;
}

using lister::ListerStatus;

// The listing by Tarvo's own lister; none when lsar (`fallback`) should list instead: the headers
// are encrypted, names are in an encoding lsar recognises, or the own lister could not read it.
std::optional<ArchiveListing> listWithOwnLister(const std::filesystem::path& lister, std::string_view format,
                                                const std::filesystem::path& archive, std::string_view encoding,
                                                bool fallback, const std::shared_ptr<ArchiveSession>& session,
                                                std::optional<ArchiveError>& failure, bool& sawEncrypted,
                                                std::optional<ArchiveListing>& foreignNames, const EntrySink* sink)
{
    ToolRun run;
    run.executable = lister;
    run.arguments = {"--format", std::string(format)};
    if (format == "zip") {
        run.arguments.insert(run.arguments.end(), {"--encoding", encoding.empty() ? "auto" : std::string(encoding)});
    }
    run.arguments.insert(run.arguments.end(), {"--", std::filesystem::absolute(archive).string()});
    run.session = session;
    run.memoryCeiling = ArchiveCatalog::memoryCeiling(archive);
    ArchiveListing listing;
    listing.hasContents = true;
    bool handedOn = false;
    ProcessRunner::Captured captured = ProcessRunner::captureWithStatus(run, [&](std::string_view line) {
        ArchiveCatalog::readListerLine(line, listing);
        if (sink && listing.entries.size() >= kHeldEntries) {
            handOn(listing, *sink);
            handedOn = true;
        }
    });
    const bool listed = !captured.signalled &&
                        (captured.status == ListerStatus::listed || captured.status == ListerStatus::foreignNames);
    // Entries already handed on stay the listing's: no other lister may add its own to them.
    if (listed && (captured.status == ListerStatus::listed || !fallback || handedOn)) {
        return listing; // no indexes: they are unar's, and only lsar knows them
    }
    if (listed) {
        foreignNames = std::move(listing); // what to show should lsar fail
        return std::nullopt;
    }
    // A memory bomb for one parser is handed to no other.
    if (fallback && !captured.outOfMemory && !handedOn) {
        if (captured.status != ListerStatus::notAnArchive && captured.status != ListerStatus::headersEncrypted) {
            failure = ArchiveError::toolFailed(lastComponent(lister), captured.status, std::move(captured.message));
        }
        // libarchive stops at a 7-Zip link whose target is encrypted, and lsar lists on; what was
        // seen protected stays so.
        sawEncrypted = listing.isEncrypted;
        return std::nullopt;
    }
    if (!captured.signalled && captured.status == ListerStatus::notAnArchive) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    if (!captured.signalled && captured.status == ListerStatus::headersEncrypted) {
        // Only lsar reads encrypted headers.
        throw ArchiveError::toolFailed("lsar", 1, L10n::text(Text::lsarNotFound));
    }
    throw ArchiveError::toolFailed(lastComponent(lister), captured.status, std::move(captured.message));
}

// A size as a lister prints it; 0 when it is none or beyond 64 bits.
std::int64_t decimalSize(std::string_view digits)
{
    std::int64_t bytes = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9' || bytes > (std::numeric_limits<std::int64_t>::max() - 9) / 10) {
            return 0;
        }
        bytes = bytes * 10 + (c - '0');
    }
    return bytes;
}

// A field of tarvo-lister's output without its escapes ("\" and two hex digits for a byte).
std::string unescapedListerField(std::string_view field)
{
    std::string text;
    text.reserve(field.size());
    const auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 2 < field.size() && hex(field[i + 1]) >= 0 && hex(field[i + 2]) >= 0) {
            text += static_cast<char>(hex(field[i + 1]) * 16 + hex(field[i + 2]));
            i += 2;
        } else {
            text += field[i];
        }
    }
    return text;
}

// Reads `count` bytes at `offset`, or nothing.
std::optional<std::string> readAt(std::ifstream& file, std::uint64_t offset, std::size_t count)
{
    std::string bytes(count, '\0');
    file.seekg(static_cast<std::streamoff>(offset));
    if (!file.read(bytes.data(), static_cast<std::streamsize>(count))) {
        return std::nullopt;
    }
    return bytes;
}

std::uint64_t littleEndian(std::string_view bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[i - 1]);
    }
    return value;
}

// What a gzip file says it unpacks to: its last four bytes, the size modulo 4 GiB (of its last
// member, when there are several).
std::optional<std::int64_t> gzipStoredSize(const std::filesystem::path& archive)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(archive, error);
    std::ifstream file(archive, std::ios::binary);
    if (error || size < 18) {
        return std::nullopt;
    }
    const auto tail = readAt(file, size - 4, 4);
    return tail ? std::optional<std::int64_t>(static_cast<std::int64_t>(littleEndian(*tail))) : std::nullopt;
}

// What a zstd file says it unpacks to: the content sizes its frames declare, added up; nothing
// when a frame does not declare one. Skippable frames (as pzstd writes) are passed over.
std::optional<std::int64_t> zstdContentSize(const std::filesystem::path& archive)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(archive, error);
    std::ifstream file(archive, std::ios::binary);
    if (error) {
        return std::nullopt;
    }
    std::uint64_t total = 0;
    std::uint64_t at = 0;
    // A file of millions of tiny blocks would take long to walk: past this many, the size is unknown.
    int blocks = 1'000'000;
    while (at < size) {
        const auto magic = readAt(file, at, 8);
        if (!magic) {
            return std::nullopt;
        }
        const std::uint64_t number = littleEndian(magic->substr(0, 4));
        if ((number & 0xFFFFFFF0) == 0x184D2A50) {
            at += 8 + littleEndian(magic->substr(4, 4));
            continue;
        }
        if (number != 0xFD2FB528) {
            return std::nullopt;
        }
        const auto descriptor = static_cast<unsigned char>((*magic)[4]);
        const int sizeFlag = descriptor >> 6;
        const bool singleSegment = (descriptor & 0x20) != 0;
        const bool checksum = (descriptor & 0x04) != 0;
        constexpr int kDictionaryBytes[] = {0, 1, 2, 4};
        constexpr int kSizeBytes[] = {0, 2, 4, 8};
        const int sizeBytes = sizeFlag == 0 && singleSegment ? 1 : kSizeBytes[sizeFlag];
        if (sizeBytes == 0) {
            return std::nullopt;
        }
        const std::uint64_t field = at + 5 + (singleSegment ? 0 : 1) + kDictionaryBytes[descriptor & 3];
        const auto declared = readAt(file, field, static_cast<std::size_t>(sizeBytes));
        if (!declared) {
            return std::nullopt;
        }
        const std::uint64_t content = littleEndian(*declared) + (sizeBytes == 2 ? 256 : 0);
        if (content > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) - total) {
            return std::nullopt;
        }
        total += content;
        // The blocks: three bytes each telling whether it is the last, its type and its size.
        at = field + static_cast<std::uint64_t>(sizeBytes);
        for (bool last = false; !last;) {
            const auto header = readAt(file, at, 3);
            if (!header || --blocks < 0) {
                return std::nullopt;
            }
            const std::uint64_t block = littleEndian(*header);
            last = (block & 1) != 0;
            const std::uint64_t type = (block >> 1) & 3;
            at += 3 + (type == 1 ? 1 : block >> 3);
        }
        at += checksum ? 4 : 0;
    }
    return static_cast<std::int64_t>(total);
}

// A 7Z listed by 7-Zip, which takes the password on standard input: lsar would need it on its
// command line, where any user of the machine can read it. 7-Zip writes a line break in a name
// as "_", so that no name can pass for a field of its own.
ArchiveListing listWithSevenZip(const std::filesystem::path& sevenZip, const std::filesystem::path& archive,
                                const std::string& secret, const std::shared_ptr<ArchiveSession>& session)
{
    ToolRun run;
    run.executable = sevenZip;
    run.arguments = {"l", "-slt", "--", std::filesystem::absolute(archive).string()};
    run.standardInput = secret + "\n";
    run.session = session;
    run.redact = secret;
    run.memoryCeiling = ArchiveCatalog::memoryCeiling(archive);
    ArchiveListing listing;
    listing.hasContents = true;
    bool inEntries = false;
    std::optional<ArchiveEntry> current;
    bool isLink = false;
    std::vector<std::size_t> links;
    const auto finishEntry = [&] {
        if (current && !current->path.empty()) {
            if (isLink) {
                links.push_back(listing.entries.size());
            }
            listing.entries.push_back(std::move(*current));
            listing.indexes.push_back(-1);
        }
        current.reset();
    };
    const auto value = [](std::string_view line, std::string_view key) -> std::optional<std::string_view> {
        return line.starts_with(key) ? std::optional(line.substr(key.size())) : std::nullopt;
    };
    ProcessRunner::Captured captured = ProcessRunner::captureWithStatus(run, [&](std::string_view line) {
        // The archive's own fields come first, until a line of dashes.
        if (!inEntries) {
            inEntries = line == "----------";
            return;
        }
        if (const auto path = value(line, "Path = ")) {
            finishEntry();
            current = ArchiveEntry{std::string(*path), 0, false};
            isLink = false;
        } else if (!current) {
            return;
        } else if (const auto size = value(line, "Size = ")) {
            current->byteSize = decimalSize(*size);
        } else if (const auto attributes = value(line, "Attributes = ")) {
            // "D drwxr-xr-x", "A lrwxrwxrwx": the kind, then the mode as ls writes it.
            current->isDirectory = attributes->starts_with('D');
            isLink = attributes->find(" l") != std::string_view::npos;
        } else if (line == "Folder = +") {
            current->isDirectory = true;
        } else if (line == "Encrypted = +") {
            listing.isEncrypted = true;
        }
    });
    finishEntry();
    if (captured.status != 0 || captured.signalled) {
        throw ArchiveError::toolFailed(lastComponent(sevenZip), captured.status, std::move(captured.message));
    }
    // A link's target is its data. Past a few dozen links, or one that cannot be read, the target
    // is unknown and taken as leaving the folder: the warning errs on the careful side.
    constexpr std::size_t kReadLinks = 64;
    for (std::size_t i = 0; i < links.size(); ++i) {
        std::string target = "/";
        if (i < kReadLinks) {
            ToolRun read = run;
            read.arguments = {
                "e", "-so", "-spd", "--", std::filesystem::absolute(archive).string(), listing.entries[links[i]].path};
            try {
                target = ProcessRunner::capture(read);
            } catch (const ArchiveError& error) {
                if (error.errorCase() == ArchiveError::Case::cancelled) {
                    throw;
                }
            }
        }
        listing.links.push_back({links[i], target.empty() ? "/" : target, false});
    }
    return listing;
}

// lsar does not read zstd. bsdtar does, and lists the tar inside.
ArchiveListing listZstdTar(const std::filesystem::path& archive, const std::shared_ptr<ArchiveSession>& session,
                           const EntrySink* sink)
{
    const auto bsdtar = ToolLocator::executable("bsdtar");
    if (!bsdtar) {
        throw ArchiveError::toolFailed("bsdtar", 1, L10n::text(Text::listingUnreadable));
    }
    ToolRun run;
    run.executable = *bsdtar;
    run.arguments = {"-tvf", std::filesystem::absolute(archive).string()};
    run.session = session;
    run.memoryCeiling = ArchiveCatalog::memoryCeiling(archive);
    ArchiveListing listing;
    listing.hasContents = true;
    // A hard link's line is read by the names listed before it, which stay known.
    std::unordered_set<std::string> listed;
    std::size_t count = 0;
    const auto isListed = [&](const std::string& path) { return listed.contains(path); };
    ProcessRunner::Captured captured = ProcessRunner::captureWithStatus(run, [&](std::string_view line) {
        ArchiveEntry entry = ArchiveCatalog::parseTarLine(line, isListed);
        if (!entry.path.empty()) {
            listed.insert(entry.path);
            listing.entries.push_back(std::move(entry));
            listing.indexes.push_back(-1);
            ++count;
            if (sink && listing.entries.size() >= kHeldEntries) {
                handOn(listing, *sink);
            }
        }
    });
    if (captured.status != 0 || captured.signalled) {
        if (count == 0 && !captured.signalled) {
            throw ArchiveError(ArchiveError::Case::notAnArchive);
        }
        throw ArchiveError::toolFailed("bsdtar", captured.status, std::move(captured.message));
    }
    return listing;
}

} // namespace

// "drwxr-xr-x  0 user group  0 Dec  7 08:20 name/": mode, links, owner, group, size, three fields
// of date, then the name as bsdtar prints it; a link adds " -> target".
ArchiveEntry ArchiveCatalog::parseTarLine(std::string_view line,
                                          const std::function<bool(const std::string&)>& isListed)
{
    std::string_view rest = line;
    const std::string_view mode = nextField(rest);
    for (int i = 0; i < 3; ++i) {
        nextField(rest);
    }
    const std::string_view size = nextField(rest);
    for (int i = 0; i < 3; ++i) {
        nextField(rest);
    }
    if (mode.size() < 10 || rest.empty()) {
        return {};
    }
    ArchiveEntry entry;
    // A symbolic link adds " -> TARGET", a hard link " link to TARGET". Either text may be part of
    // a name too; a hard link's target is an entry listed before it, which tells where it begins.
    if (const std::size_t arrow = rest.rfind(" -> "); mode.front() == 'l' && arrow != std::string_view::npos) {
        rest = rest.substr(0, arrow);
    } else if (mode.front() == 'h') {
        constexpr std::string_view kLinkTo = " link to ";
        std::size_t cut = rest.rfind(kLinkTo);
        for (std::size_t at = rest.find(kLinkTo); isListed && at != std::string_view::npos;
             at = rest.find(kLinkTo, at + 1)) {
            if (isListed(unescapedTarName(rest.substr(at + kLinkTo.size())))) {
                cut = at;
                break;
            }
        }
        rest = rest.substr(0, cut);
    }
    entry.isDirectory = mode.front() == 'd';
    entry.path = unescapedTarName(rest);
    entry.byteSize = decimalSize(size);
    return entry;
}

namespace {
ArchiveListing listWithLsar(const std::filesystem::path& archive, std::optional<ArchiveKind> kind,
                            std::string_view password, const RarSupport& support,
                            const std::shared_ptr<ArchiveSession>& session, const EntrySink* sink);
} // namespace

bool ArchiveCatalog::readListerLine(std::string_view line, ArchiveListing& listing)
{
    // "TYPE SIZE FLAGS PATH[ STORED][ LINK]"; no field holds a blank.
    std::string_view rest = line;
    const std::string_view type = nextField(rest);
    if (type == "encoding") {
        const std::string_view name = nextField(rest);
        listing.nameEncoding = nameEncodingNamed(unescapedListerField(name)).value_or(std::string());
        return false;
    }
    const std::string_view size = nextField(rest);
    const std::string_view flags = nextField(rest);
    const std::string_view path = nextField(rest);
    const bool hasStored = flags.size() == 2 && flags[1] == 'r';
    const std::string_view stored = hasStored ? nextField(rest) : std::string_view();
    const std::string_view link = nextField(rest);
    if (type.size() != 1 || size.empty() || (flags.size() != 1 && !hasStored) || path.empty() ||
        (hasStored && stored.empty())) {
        return false;
    }
    ArchiveEntry entry;
    entry.isDirectory = type == "d";
    entry.path = unescapedListerField(path);
    if (hasStored) {
        entry.storedPath = unescapedListerField(stored);
        while (entry.storedPath.size() > 1 && entry.storedPath.back() == '/') {
            entry.storedPath.pop_back();
        }
    }
    // Folders may end in "/" ("Photos/"); the listing names them as lsar does, without it.
    while (entry.path.size() > 1 && entry.path.back() == '/') {
        entry.path.pop_back();
    }
    entry.byteSize = decimalSize(size);
    listing.isEncrypted = listing.isEncrypted || flags[0] == 'e';
    if (!link.empty() && (type == "l" || type == "h")) {
        listing.links.push_back({listing.entries.size(), unescapedListerField(link), type == "h"});
    }
    listing.entries.push_back(std::move(entry));
    return true;
}

std::uint64_t ArchiveCatalog::memoryCeiling(const std::filesystem::path& archive, std::uint64_t base)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(archive, error);
    const std::uint64_t room = (std::numeric_limits<std::uint64_t>::max() - base) / 32;
    return base + 32 * std::min<std::uint64_t>(error ? 0 : size, room);
}

ArchiveListing ArchiveCatalog::parse(std::string_view output)
{
    ListingReader reader;
    const bool parsed = nlohmann::json::sax_parse(output.data(), output.data() + output.size(), &reader);
    return finishParse(reader, parsed, output.substr(0, 1024));
}

namespace {
ArchiveListing listArchive(const std::filesystem::path& archive, std::string_view password, const RarSupport& support,
                           const std::shared_ptr<ArchiveSession>& session, bool unarNumbers, const EntrySink* sink,
                           std::string_view encoding);
} // namespace

ArchiveListing ArchiveCatalog::list(const std::filesystem::path& archive, std::string_view password,
                                    const RarSupport& support, const std::shared_ptr<ArchiveSession>& session,
                                    bool unarNumbers, std::string_view encoding)
{
    return listArchive(archive, password, support, session, unarNumbers, nullptr, encoding);
}

ArchiveListing ArchiveCatalog::list(const std::filesystem::path& archive, std::string_view password,
                                    const RarSupport& support, const std::shared_ptr<ArchiveSession>& session,
                                    const EntrySink& sink, std::string_view encoding)
{
    ArchiveListing listing = listArchive(archive, password, support, session, false, &sink, encoding);
    handOn(listing, sink);
    return listing;
}

std::string ArchiveCatalog::nameEncoding(const std::filesystem::path& archive, const RarSupport& support,
                                         std::string_view encoding, const std::shared_ptr<ArchiveSession>& session)
{
    const auto kind = ArchiveKind::from(archive);
    if (!kind || listerFormat(*kind) != "zip" || !support.entryLister) {
        return {};
    }
    ToolRun run;
    run.executable = *support.entryLister;
    run.arguments = {"--format",
                     "zip",
                     "--encoding",
                     encoding.empty() ? "auto" : std::string(encoding),
                     "--detect",
                     "--",
                     std::filesystem::absolute(archive).string()};
    run.session = session;
    run.memoryCeiling = ArchiveCatalog::memoryCeiling(archive);
    std::string named;
    ProcessRunner::Captured captured = ProcessRunner::captureWithStatus(
        run, [&](std::string_view line) { named = nameEncodingNamed(trimmed(line)).value_or(std::string()); });
    // An archive it cannot read is left to the extraction to report.
    return captured.signalled || captured.status != ListerStatus::listed ? std::string() : named;
}

namespace {

ArchiveListing listArchive(const std::filesystem::path& archive, std::string_view password, const RarSupport& support,
                           const std::shared_ptr<ArchiveSession>& session, bool unarNumbers, const EntrySink* sink,
                           std::string_view encoding)
{
    // A pipe, a socket or a device would keep the lister waiting or reading for ever.
    std::error_code error;
    if (const auto status = std::filesystem::status(archive, error);
        std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    const auto kind = ArchiveKind::from(archive);
    const auto format = kind ? listerFormat(*kind) : std::nullopt;
    if (!format || !support.entryLister || unarNumbers) {
        return listWithLsar(archive, kind, password, support, session, sink);
    }
    const bool lsarReads = support.lister && kind != ArchiveKind::tarZst;
    std::optional<ArchiveError> ownFailure;
    bool sawEncrypted = false;
    std::optional<ArchiveListing> foreignNames;
    if (auto listing = listWithOwnLister(*support.entryLister, *format, archive, encoding, lsarReads, session,
                                         ownFailure, sawEncrypted, foreignNames, sink)) {
        return std::move(*listing);
    }
    try {
        ArchiveListing listing = listWithLsar(archive, kind, password, support, session, sink);
        listing.isEncrypted = listing.isEncrypted || sawEncrypted;
        return listing;
    } catch (const ArchiveError& error) {
        if (error.errorCase() == ArchiveError::Case::cancelled) {
            throw;
        }
        // Listed already, only with names lsar might have read better.
        if (foreignNames) {
            return std::move(*foreignNames);
        }
        // When neither reads it, the own lister's words are the clearer ones.
        if (ownFailure && error.errorCase() == ArchiveError::Case::toolFailed) {
            throw *ownFailure;
        }
        throw;
    }
}

ArchiveListing listWithLsar(const std::filesystem::path& archive, std::optional<ArchiveKind> kind,
                            std::string_view password, const RarSupport& support,
                            const std::shared_ptr<ArchiveSession>& session, const EntrySink* sink)
{
    if (kind == ArchiveKind::tarZst) {
        return listZstdTar(archive, session, sink);
    } else if (kind == ArchiveKind::zstd) {
        // One compressed file: its entry is the file it unpacks to, named as extracting names it.
        if (!kind->hasMagic(archive)) {
            throw ArchiveError(ArchiveError::Case::notAnArchive);
        }
        return ArchiveListing{{ArchiveEntry{ArchiveNames::stem(archive), zstdContentSize(archive).value_or(0), false}},
                              false,
                              {-1},
                              std::nullopt,
                              true,
                              {},
                              {}};
    }
    const std::string secret(trimmed(password));
    if (kind == ArchiveKind::sevenZip && support.sevenZip && !secret.empty()) {
        return listWithSevenZip(*support.sevenZip, archive, secret, session);
    }
    if (!support.lister) {
        throw ArchiveError::toolFailed("lsar", 1, L10n::text(Text::lsarNotFound));
    }
    ToolRun run;
    run.executable = *support.lister;
    run.arguments = {"-json"};
    if (!secret.empty()) {
        run.arguments.insert(run.arguments.end(), {"-p", secret});
    }
    // "--": an archive whose name begins with "-" is still an archive, not a switch.
    run.arguments.insert(run.arguments.end(), {"--", std::filesystem::absolute(archive).string()});
    run.session = session;
    run.redact = secret;
    run.memoryCeiling = ArchiveCatalog::memoryCeiling(archive);

    StreamingParse parsing;
    ProcessRunner::Captured captured =
        ProcessRunner::captureWithStatus(run, [&](std::string_view line) { parsing.line(line); });
    if (captured.status == 0 && !captured.signalled) {
        ArchiveListing listing = parsing.finish();
        // lsar tells no size for one gzip-compressed file; the file itself does.
        if (kind == ArchiveKind::gzip && listing.entries.size() == 1 && listing.entries.front().byteSize == 0) {
            listing.entries.front().byteSize = gzipStoredSize(archive).value_or(0);
        }
        return listing;
    }
    const ArchiveError failure =
        ArchiveError::toolFailed(lastComponent(*support.lister), captured.status, std::move(captured.message));
    if (captured.signalled || captured.outOfMemory) {
        throw failure;
    }
    // lsar ends with status 1 and says why in its JSON: a header-encrypted archive with a wrong
    // password, or a file that is no archive at all.
    ArchiveListing listing;
    try {
        listing = parsing.finish();
    } catch (const ArchiveError&) {
        throw failure;
    }
    const std::int64_t code = listing.listerError.value_or(0);
    if (code == kListerPasswordError || (!secret.empty() && code != 0 && listing.entries.empty())) {
        throw ArchiveError(ArchiveError::Case::wrongPassword);
    }
    if (listing.listerError && !listing.hasContents) {
        throw ArchiveError(ArchiveError::Case::notAnArchive);
    }
    throw failure;
}

} // namespace

} // namespace tarvo::engine
