#include "ArchiveCatalog.h"

#include "ArchiveError.h"
#include "L10n.h"
#include "PathText.h"
#include "ProcessRunner.h"
#include "TextUtil.h"

#include <limits>
#include <nlohmann/json.hpp>

namespace tarvo::engine {

namespace {

// XADMaster's error number for a wrong or missing password.
constexpr std::int64_t kListerPasswordError = 15;

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

} // namespace

ArchiveListing ArchiveCatalog::parse(std::string_view output)
{
    ListingReader reader;
    const bool parsed = nlohmann::json::sax_parse(output.data(), output.data() + output.size(), &reader);
    if (!parsed || reader.failed) {
        if (trimmed(output).empty()) {
            throw emptyListing();
        }
        throw ArchiveError::toolFailed("lsar", 1, firstCharacters(output, 180));
    }
    if (!reader.topLevelIsObject) {
        throw emptyListing();
    }
    reader.finish();
    return std::move(reader.listing);
}

ArchiveListing ArchiveCatalog::list(const std::filesystem::path& archive, std::string_view password,
                                    const RarSupport& support, const std::shared_ptr<ArchiveSession>& session)
{
    if (!support.lister) {
        throw ArchiveError::toolFailed("lsar", 1, L10n::text(Text::lsarNotFound));
    }
    const std::string secret(trimmed(password));
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

    ProcessRunner::Captured captured = ProcessRunner::captureWithStatus(run);
    if (captured.status == 0 && !captured.signalled) {
        return parse(captured.output);
    }
    const ArchiveError failure =
        ArchiveError::toolFailed(lastComponent(*support.lister), captured.status, std::move(captured.message));
    if (captured.signalled) {
        throw failure;
    }
    // lsar ends with status 1 and says why in its JSON: a header-encrypted archive with a wrong
    // password, or a file that is no archive at all.
    ArchiveListing listing;
    try {
        listing = parse(captured.output);
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

} // namespace tarvo::engine
