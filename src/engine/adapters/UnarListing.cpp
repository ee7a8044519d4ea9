// SPDX-License-Identifier: GPL-3.0-or-later

// lsar's JSON listing, read as it streams.
#include "Unar.h"
#include "engine/l10n/L10n.h"
#include "engine/util/TextUtil.h"

#include <condition_variable>
#include <deque>
#include <istream>
#include <limits>
#include <mutex>
#include <nlohmann/json.hpp>
#include <streambuf>
#include <thread>

namespace tarvo::engine {

namespace {

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

} // namespace

class Unar::ListingParse::Stream
{
public:
    Stream()
        : m_thread([this] { parse(); })
    {}
    ~Stream() { m_channel.close(); }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

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

Unar::ListingParse::ListingParse()
    : m_stream(std::make_unique<Stream>())
{}

Unar::ListingParse::~ListingParse() = default;

void Unar::ListingParse::line(std::string_view text)
{
    m_stream->line(text);
}

ArchiveListing Unar::ListingParse::finish()
{
    return m_stream->finish();
}

ArchiveListing Unar::parseListing(std::string_view output)
{
    ListingReader reader;
    const bool parsed = nlohmann::json::sax_parse(output.data(), output.data() + output.size(), &reader);
    return finishParse(reader, parsed, output.substr(0, 1024));
}

} // namespace tarvo::engine
