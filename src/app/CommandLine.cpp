// SPDX-License-Identifier: GPL-3.0-or-later

#include "CommandLine.h"

#include "engine/Version.h"
#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/archive/ArchiveSafety.h"
#include "engine/archive/SplitSet.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/FileWalk.h"
#include "engine/tools/ProgressStep.h"
#include "engine/tools/ToolLocator.h"
#include "engine/util/FileSystem.h"
#include "engine/util/LegacyNames.h"
#include "engine/util/SearchText.h"
#include "engine/util/TextUtil.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ErrorText.h"
#include "engine/vocabulary/ZipEncryption.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <functional>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <pthread.h>
#include <set>
#include <thread>
#include <unistd.h>

namespace tarvo::app {

namespace fs = std::filesystem;
using namespace tarvo::engine;

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kInterrupted = 130;

struct UsageError
{
    std::string message;
};

struct Options
{
    std::string command;
    std::vector<std::string> operands;
    ArchiveFormat format = ArchiveFormat::zip;
    CompressionLevel level = CompressionLevel::normal;
    ZipEncryption zipEncryption = ZipEncryption::aes256;
    std::string name;
    bool passwordFromInput = false;
    bool keepJunk = false;
    bool verify = false;
    std::optional<fs::path> outputDirectory;
    // --entry, each a path or a pattern; empty: everything.
    std::vector<std::string> entries;
    std::string filter; // list --filter
    bool json = false;
    std::string encoding; // of a ZIP's legacy names; empty: detected
    std::string into;     // add --into
    ClashChoice onClash = ClashChoice::refuse;
    std::uint64_t volumeSize = 0;
};

// "100M", "4G", "700m", "250k" or bytes; decimal units, as the sizes of disks and mail limits are.
std::optional<std::uint64_t> sizeFrom(std::string_view text)
{
    std::uint64_t unit = 1;
    if (!text.empty() && (text.back() == 'B' || text.back() == 'b')) {
        text.remove_suffix(1);
    }
    if (!text.empty()) {
        switch (text.back()) {
        case 'k':
        case 'K':
            unit = 1000;
            break;
        case 'm':
        case 'M':
            unit = 1000 * 1000;
            break;
        case 'g':
        case 'G':
            unit = 1000 * 1000 * 1000;
            break;
        default:
            break;
        }
        if (unit > 1) {
            text.remove_suffix(1);
        }
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > std::numeric_limits<std::uint64_t>::max() / unit) {
        return std::nullopt;
    }
    return value * unit;
}

Options parse(const std::vector<std::string>& arguments)
{
    Options options;
    options.command = arguments.front();
    bool operandsOnly = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (operandsOnly || argument.empty() || argument.front() != '-' || argument == "-") {
            options.operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            operandsOnly = true;
            continue;
        }
        // "--name=value" and "--name value" both work.
        std::optional<std::string> inlineValue;
        if (const auto equals = argument.find('='); argument.starts_with("--") && equals != std::string::npos) {
            inlineValue = argument.substr(equals + 1);
            argument.resize(equals);
        }
        auto value = [&]() -> std::string {
            if (inlineValue) {
                return *inlineValue;
            }
            if (i + 1 >= arguments.size()) {
                throw UsageError{argument + " needs a value"};
            }
            return arguments[++i];
        };
        auto flag = [&] {
            if (inlineValue) {
                throw UsageError{argument + " takes no value"};
            }
        };
        const bool compress = options.command == "compress";
        const bool extract = options.command == "extract";
        const bool list = options.command == "list";
        const bool add = options.command == "add";
        if (compress && argument == "--format") {
            const std::string text = value();
            const auto format = ArchiveFormat::fromRaw(text);
            if (!format) {
                throw UsageError{"unknown format " + text + " (zip, rar, 7z or tar.gz)"};
            }
            options.format = *format;
        } else if (compress && argument == "--level") {
            const std::string text = value();
            const auto level = CompressionLevel::fromRaw(text);
            if (!level) {
                throw UsageError{"unknown level " + text + " (fast, normal or maximum)"};
            }
            options.level = *level;
        } else if (compress && argument == "--zip-encryption") {
            const std::string text = value();
            const auto encryption = zipEncryptionFrom(text);
            if (!encryption) {
                throw UsageError{"unknown ZIP encryption " + text + " (aes256 or zipcrypto)"};
            }
            options.zipEncryption = *encryption;
        } else if (compress && argument == "--name") {
            options.name = value();
        } else if (compress && argument == "--volume-size") {
            const std::string text = value();
            const auto size = sizeFrom(text);
            if (!size) {
                throw UsageError{"unreadable size " + text + " (100M, 700M, 4G or bytes)"};
            }
            options.volumeSize = *size;
        } else if (add && argument == "--into") {
            options.into = value();
            while (options.into.ends_with('/')) {
                options.into.pop_back();
            }
        } else if (add && (argument == "--replace" || argument == "--keep-both")) {
            flag();
            options.onClash = argument == "--replace" ? ClashChoice::replace : ClashChoice::keepBoth;
        } else if ((compress || add) && argument == "--keep-junk") {
            flag();
            options.keepJunk = true;
        } else if (compress && argument == "--verify") {
            flag();
            options.verify = true;
        } else if (compress && argument == "--output-dir") {
            options.outputDirectory = fs::path(value());
        } else if (extract && argument == "--entry") {
            options.entries.push_back(value());
        } else if (list && argument == "--filter") {
            options.filter = value();
        } else if ((extract || list || options.command == "test") && argument == "--encoding") {
            const std::string text = value();
            if (asciiLower(text) != "auto") {
                const auto named = nameEncodingNamed(text);
                if (!named) {
                    throw UsageError{"unknown encoding " + text +
                                     " (auto, CP437, CP866, Windows-1251, Shift-JIS, GBK, ...)"};
                }
                options.encoding = *named;
            }
        } else if (list && argument == "--json") {
            flag();
            options.json = true;
        } else if (argument == "--password-stdin") {
            flag();
            options.passwordFromInput = true;
        } else {
            throw UsageError{"unknown option " + argument + " for " + options.command};
        }
    }
    if (options.operands.empty()) {
        throw UsageError{options.command + " needs " + (options.command == "compress" ? "items" : "an archive")};
    }
    // Packing anyway would hand over, without a word, a plain archive the user believes is locked.
    if (options.command == "compress" && options.passwordFromInput && options.format == ArchiveFormat::tarGz) {
        throw UsageError{"a tar.gz archive cannot hold a password (zip, 7z and rar can)"};
    }
    if (options.command == "list" && options.operands.size() != 1) {
        throw UsageError{"list takes one archive"};
    }
    if ((options.command == "add" || options.command == "delete") && options.operands.size() < 2) {
        throw UsageError{options.command + " takes an archive and " +
                         (options.command == "add" ? "the items to add" : "the entries to delete")};
    }
    if (options.command == "rename" && options.operands.size() != 3) {
        throw UsageError{"rename takes an archive, an entry and its new name"};
    }
    if (options.volumeSize > 0 && options.format == ArchiveFormat::tarGz) {
        throw UsageError{"a tar.gz archive cannot be split into parts (zip, 7z and rar can)"};
    }
    return options;
}

// The first line of standard input, without its line break.
std::string readPassword(std::istream& input)
{
    std::string line;
    std::getline(input, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

// SIGINT and SIGTERM cancel the running job instead of killing the process, so that the tool is
// stopped and the partial archive or folder removed before Tarvo exits with 130. One watcher for
// the life of the process: its thread never outlives what it touches.
class InterruptWatch
{
public:
    static InterruptWatch& instance()
    {
        static InterruptWatch watch;
        return watch;
    }

    std::shared_ptr<ArchiveSession> newSession()
    {
        auto session = std::make_shared<ArchiveSession>();
        std::atomic_store(&m_session, session);
        if (m_interrupted) {
            session->cancel();
        }
        return session;
    }
    bool interrupted() const { return m_interrupted; }

private:
    InterruptWatch()
    {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
        std::thread([this] {
            while (true) {
                int signal = 0;
                if (::sigwait(&m_signals, &signal) != 0) {
                    continue;
                }
                m_interrupted = true;
                if (auto session = std::atomic_load(&m_session)) {
                    session->cancel();
                }
            }
        }).detach();
    }

    sigset_t m_signals;
    std::atomic<bool> m_interrupted{false};
    std::shared_ptr<ArchiveSession> m_session;
};

// "Archiving Photos  [#######.............] 12 of 40", redrawn in place on a terminal.
class ProgressLine
{
public:
    ProgressLine(std::ostream& stream, bool enabled, std::string label, long long total)
        : m_stream(stream)
        , m_enabled(enabled)
        , m_label(std::move(label))
        , m_total(total)
    {
        draw();
    }
    ~ProgressLine() { clear(); }

    // Before anything else is written to the terminal.
    void clear()
    {
        if (m_enabled) {
            m_stream << "\r\x1b[K" << std::flush;
            m_enabled = false;
        }
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void step(const ProgressStep& step)
    {
        if (!m_enabled) {
            return;
        }
        m_done += step.entries;
        if (step.percent >= 0) {
            m_percent = step.percent;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - m_drawn >= std::chrono::milliseconds(80)) {
            draw();
        }
    }

private:
    void draw()
    {
        if (!m_enabled) {
            return;
        }
        m_drawn = std::chrono::steady_clock::now();
        m_stream << "\r\x1b[K" << m_label;
        // The same numbers as the window: the count of the total, moved on by the tool's own
        // percentage where it gives one; a running count when the total is unknown.
        constexpr int width = 24;
        const auto bar = [&](long long filled) {
            m_stream << "  [" << std::string(static_cast<std::size_t>(filled), '#')
                     << std::string(static_cast<std::size_t>(width - filled), '.') << "] ";
        };
        if (m_total > 0) {
            const long long shown = std::min(m_done, m_total);
            const long long byPercent = m_percent >= 0 ? m_percent * m_total / 100 : 0;
            bar(std::min<long long>(std::max(shown, byPercent) * width / m_total, width));
            m_stream << L10n::progress(shown, m_total);
        } else if (m_percent >= 0) {
            bar(std::min(m_percent, 100) * width / 100);
            m_stream << m_percent << '%';
            if (m_done > 0) {
                m_stream << "  " << m_done;
            }
        } else if (m_done > 0) {
            m_stream << "  " << m_done;
        }
        m_stream << std::flush;
    }

    std::ostream& m_stream;
    bool m_enabled;
    std::string m_label;
    long long m_total;
    long long m_done = 0;
    int m_percent = -1;
    std::chrono::steady_clock::time_point m_drawn;
};

class Runner
{
public:
    Runner(const Options& options, std::istream& input, std::ostream& output, std::ostream& errors)
        : m_options(options)
        , m_output(output)
        , m_errors(errors)
        , m_terminal(::isatty(STDERR_FILENO) == 1 && &errors == &std::cerr)
        // Read before the signals are taken over, so that Ctrl-C still ends a typed password prompt.
        , m_password(options.passwordFromInput ? readPassword(input) : std::string())
        , m_watch(InterruptWatch::instance())
    {}

    int compress()
    {
        std::vector<fs::path> items;
        for (const auto& operand : m_options.operands) {
            items.push_back(cleanPath(operand)); // "Photos/" and "." name folders too
        }
        CompressRequest request;
        request.items = items;
        request.format = m_options.format;
        request.name = m_options.name;
        request.password = m_password;
        request.level = m_options.level;
        request.zipEncryption = m_options.zipEncryption;
        request.skipJunk = !m_options.keepJunk;
        request.directory =
            m_options.outputDirectory ? cleanPath(*m_options.outputDirectory) : items.front().parent_path();
        request.tools = ToolLocator::rarSupport();
        request.volumeSize = m_options.volumeSize;
        const std::string label =
            L10n::compressing(m_options.name.empty() ? items.front().filename().string() : m_options.name);
        ProgressLine progress(m_errors, m_terminal, label, m_terminal ? FileWalk::count(items) : 0);
        request.control = {m_watch.newSession(), [&](const ProgressStep& step) { progress.step(step); }, {}};
        try {
            const fs::path archive = ArchiveEngine::compress(request);
            progress.clear();
            m_output << archive.string() << '\n' << std::flush;
            return m_options.verify ? verify(archive, request.tools) : 0;
        } catch (const std::exception& error) {
            progress.clear();
            return fail(error, {});
        }
    }

    // add, delete and rename: the archive's path when it changed.
    int edit()
    {
        const fs::path archive = cleanPath(m_options.operands.front());
        ProgressLine progress(m_errors, m_terminal, L10n::text(Text::changingArchive), 0);
        EditRequest request{.archive = archive,
                            .tools = ToolLocator::rarSupport(),
                            .password = password(),
                            .control = {m_watch.newSession(), [&](const ProgressStep& step) { progress.step(step); }}};
        const std::vector<std::string> rest(m_options.operands.begin() + 1, m_options.operands.end());
        try {
            if (m_options.command == "add") {
                for (const std::string& item : rest) {
                    request.items.push_back(cleanPath(item));
                }
                request.into = m_options.into;
                request.skipJunk = !m_options.keepJunk;
                request.onClash = m_options.onClash;
                ArchiveEngine::add(request);
            } else if (m_options.command == "delete") {
                request.entries = rest;
                ArchiveEngine::remove(request);
            } else {
                request.entries = {rest.front()};
                request.newName = rest.back();
                ArchiveEngine::rename(request);
            }
            progress.clear();
            m_output << archive.string() << '\n' << std::flush;
            return 0;
        } catch (const std::exception& error) {
            progress.clear();
            return fail(error, archive.string());
        }
    }

    // Runs `job` on each archive in turn: a failure is said and the next archive runs; an interrupt
    // ends them all. The status is that of the last archive that did not succeed.
    int eachArchive(const std::function<int(const fs::path&)>& job)
    {
        int status = 0;
        // Parts of one archive cut into parts are that archive once.
        std::set<fs::path> sets;
        for (const auto& operand : m_options.operands) {
            if (m_watch.interrupted()) {
                return kInterrupted;
            }
            const fs::path archive = cleanPath(operand);
            if (const auto set = SplitSet::of(archive); set && !sets.insert(set->opened).second) {
                continue;
            }
            try {
                if (const int result = job(archive); result != 0) {
                    status = result;
                }
            } catch (const std::exception& error) {
                status = fail(error, archive.string());
                if (status == kInterrupted) {
                    return status;
                }
            }
        }
        return status;
    }

    int extract()
    {
        const RarSupport tools = ToolLocator::rarSupport();
        return eachArchive([&](const fs::path& archive) {
            ProgressLine progress(m_errors, m_terminal, L10n::extracting(archive.filename().string()), 0);
            int leftOut = 0;
            const RunControl control{m_watch.newSession(), [&](const ProgressStep& step) { progress.step(step); },
                                     [&](int count) { leftOut = count; }};
            fs::path result;
            if (m_options.entries.empty()) {
                result = ArchiveEngine::extract(archive, tools, password(), control, m_options.encoding);
            } else {
                EntryRequest request{.archive = archive,
                                     .tools = tools,
                                     .password = password(),
                                     .control = control,
                                     .encoding = m_options.encoding};
                request.entries = chosenEntries(request);
                // One entry named as it is comes out as before: the path of the entry itself.
                const bool one = request.entries.size() == 1 && m_options.entries.size() == 1 &&
                                 request.entries[0] == m_options.entries[0];
                request.entry = request.entries[0];
                result = one ? ArchiveEngine::extractEntry(request) : ArchiveEngine::extractEntries(request);
            }
            progress.clear();
            m_output << result.string() << '\n' << std::flush;
            if (leftOut > 0) {
                m_errors << "tarvo: " << archive.string() << ": "
                         << replacingAll(L10n::text(Text::specialFilesLeftOut), "%1", std::to_string(leftOut))
                         << std::endl;
            }
            return 0;
        });
    }

    // What --entry names: a path as it stands, or, with "*" or "?" and naming no entry as it
    // stands, every entry whose path matches it ("*" across folders too). A pattern that matches
    // nothing is an entry that cannot be extracted.
    std::vector<std::string> chosenEntries(const EntryRequest& request) const
    {
        const std::vector<std::string>& typed = m_options.entries;
        const auto isPattern = [](const std::string& entry) { return entry.find_first_of("*?") != std::string::npos; };
        if (std::none_of(typed.begin(), typed.end(), isPattern)) {
            return typed;
        }
        std::vector<bool> named(typed.size());
        std::vector<std::vector<std::string>> matches(typed.size());
        ArchiveCatalog::list({.archive = request.archive,
                              .password = m_password,
                              .tools = request.tools,
                              .session = request.control.session,
                              .encoding = request.encoding},
                             [&](const ArchiveEntry& entry, const ArchiveListing::Link*) {
                                 for (std::size_t i = 0; i < typed.size(); ++i) {
                                     named[i] = named[i] || entry.path == typed[i];
                                     if (isPattern(typed[i]) && globMatches(typed[i], entry.path)) {
                                         matches[i].push_back(entry.path);
                                     }
                                 }
                             });
        std::vector<std::string> chosen;
        for (std::size_t i = 0; i < typed.size(); ++i) {
            if (!isPattern(typed[i]) || named[i]) {
                chosen.push_back(typed[i]);
            } else if (matches[i].empty()) {
                throw ArchiveError(ArchiveError::Case::entryCannotBeExtracted);
            } else {
                chosen.insert(chosen.end(), matches[i].begin(), matches[i].end());
            }
        }
        return chosen;
    }

    std::optional<std::string> password() const
    {
        return m_password.empty() ? std::nullopt : std::optional<std::string>(m_password);
    }

    // The new archive is kept whatever its test finds: it is what the tool made, and the user decides.
    int verify(const fs::path& archive, const RarSupport& tools)
    {
        try {
            const TestReport report = ArchiveEngine::test(archive, tools, password(), {m_watch.newSession(), {}});
            if (report.sound) {
                return 0;
            }
            m_errors << "tarvo: " << archive.string() << ": " << verifyFailure(report) << std::endl;
            return kFailed;
        } catch (const std::exception& error) {
            return fail(error, archive.string());
        }
    }

    int test()
    {
        const RarSupport tools = ToolLocator::rarSupport();
        return eachArchive([&](const fs::path& archive) {
            const TestReport report =
                ArchiveEngine::test(archive, tools, password(), {m_watch.newSession(), {}}, m_options.encoding);
            m_output << archive.string() << ": " << testVerdict(report) << '\n' << std::flush;
            return report.sound ? 0 : kFailed;
        });
    }

    int list()
    {
        const fs::path archive = cleanPath(m_options.operands.front());
        // Entries go out as the lister reads them: a listing of millions is never held, and a JSON
        // document is written, not built. Nothing is written before the first entry, so that a
        // listing that fails at once leaves standard output empty.
        SafetyWalk safety;
        // --filter: the entries whose path holds it or matches it, as the preview's search finds them.
        const SearchQuery filter(m_options.filter);
        bool opened = false;
        const auto open = [&] {
            if (!opened && m_options.json) {
                m_output << "{\"entries\":[";
            }
            opened = true;
        };
        const auto text = [](const std::string& value) {
            return nlohmann::json(value).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        };
        try {
            const ArchiveListing listing = ArchiveCatalog::list(
                {.archive = archive,
                 .password = m_password,
                 .tools = ToolLocator::rarSupport(),
                 .session = m_watch.newSession(),
                 .encoding = m_options.encoding},
                [&](const ArchiveEntry& entry, const ArchiveListing::Link* link) {
                    if (!filter.empty() && !filter.matches(searchFolded(entry.path),
                                                           searchFolded(fs::path(entry.path).filename().string()))) {
                        if (m_options.json) {
                            safety.add(entry, link ? &link->target : nullptr, link && link->hard);
                        }
                        return;
                    }
                    if (!m_options.json) {
                        m_output << entry.path << '\n';
                        return;
                    }
                    safety.add(entry, link ? &link->target : nullptr, link && link->hard);
                    m_output << (opened ? "," : "");
                    open();
                    m_output << "{\"isDirectory\":" << (entry.isDirectory ? "true" : "false")
                             << ",\"path\":" << text(entry.path) << ",\"size\":" << entry.byteSize << '}';
                });
            if (m_options.json) {
                open();
                const SafetyReport report = safety.report(archive);
                const nlohmann::json summary = {
                    {"entries", report.entries},
                    {"unpackedBytes", report.unpackedBytes},
                    {"entriesOutside", report.entriesOutside},
                    {"linksOutside", report.linksOutside},
                    {"freeBytes", report.freeBytes ? nlohmann::json(*report.freeBytes) : nlohmann::json()},
                    {"exceedsFreeSpace", report.exceedsFreeSpace},
                    {"unpacksHundredfold", report.unpacksHundredfold}};
                m_output << "],\"encrypted\":" << (listing.isEncrypted ? "true" : "false")
                         << ",\"nameEncoding\":" << (listing.nameEncoding.empty() ? "null" : text(listing.nameEncoding))
                         << ",\"safety\":" << summary.dump() << "}\n";
            }
            m_output << std::flush;
            return 0;
        } catch (const std::exception& error) {
            if (opened) {
                m_output << std::endl; // what was written stays readable as lines
            }
            return fail(error, archive.string());
        }
    }

private:
    int fail(const std::exception& error, const std::string& subject)
    {
        if (isCancellation(error) || m_watch.interrupted()) {
            return kInterrupted;
        }
        const std::string description = describeError(error);
        // A file-system error already begins with the path it is about.
        const bool named = subject.empty() || description.starts_with(subject + ": ");
        m_errors << "tarvo: " << (named ? "" : subject + ": ") << description << std::endl;
        return kFailed;
    }

    const Options& m_options;
    std::ostream& m_output;
    std::ostream& m_errors;
    bool m_terminal;
    std::string m_password;
    InterruptWatch& m_watch;
};

} // namespace

bool CommandLine::handles(const std::vector<std::string>& arguments)
{
    if (arguments.empty()) {
        return false;
    }
    const std::string& first = arguments.front();
    return first == "compress" || first == "extract" || first == "list" || first == "test" || first == "add" ||
           first == "delete" || first == "rename" || first == "--help" || first == "-h" || first == "--version";
}

void CommandLine::printUsage(std::ostream& stream)
{
    stream << "Usage:\n"
              "  tarvo compress [--format zip|rar|7z|tar.gz] [--level fast|normal|maximum] [--name NAME]\n"
              "                 [--password-stdin] [--zip-encryption aes256|zipcrypto] [--keep-junk]\n"
              "                 [--output-dir DIR] [--verify] [--volume-size SIZE] ITEM...\n"
              "  tarvo extract  [--password-stdin] [--encoding NAME] [--entry PATH]... ARCHIVE...\n"
              "  tarvo list     [--password-stdin] [--encoding NAME] [--filter TEXT] [--json] ARCHIVE\n"
              "  tarvo test     [--password-stdin] [--encoding NAME] ARCHIVE...\n"
              "  tarvo add      [--password-stdin] [--into FOLDER] [--replace|--keep-both] [--keep-junk]\n"
              "                 ARCHIVE ITEM...\n"
              "  tarvo delete   [--password-stdin] ARCHIVE ENTRY...\n"
              "  tarvo rename   [--password-stdin] ARCHIVE ENTRY NEWNAME\n"
              "  tarvo --self-test\n"
              "  tarvo [FILE...]\n"
              "  tarvo --finder compress|extract|test PATH...\n"
              "  tarvo --help | --version\n"
              "\n"
              "compress packs the items into one new archive (beside the first item unless --output-dir is\n"
              "given) and prints its path; --verify then tests it (a damaged one is kept, exit 1). extract\n"
              "unpacks each archive into a new folder beside it and prints the folder; --entry takes out one\n"
              "file or folder, and, given again or as a pattern with * and ?, several, each with its path.\n"
              "list prints the archive's entries (with --filter, those whose path holds TEXT, in any case\n"
              "and without accents, or matches it as a pattern); with --json, also its safety report:\n"
              "entries and links that lead outside the folder, and an unpacked size beyond the free space or\n"
              "a hundredfold the archive. test reads every entry's data through, writes nothing, and prints\n"
              "one line per archive: no errors, or what is damaged.\n"
              "--volume-size cuts a zip, 7z or rar archive into parts of at most SIZE (100M, 700M, 4G or\n"
              "bytes; decimal units) and prints the first part's path.\n"
              "add puts files and folders into an existing archive (into FOLDER inside it, else its top);\n"
              "an entry of the same path stays and the add fails, unless --replace or --keep-both (the new\n"
              "one as \"name 2.ext\"). delete takes entries out, a folder with everything in it; rename gives\n"
              "one entry or folder a new name in its folder. Each writes the changed archive beside it, reads\n"
              "it back and only then puts it in the archive's place: a failure leaves the archive as it was.\n"
              "An encrypted archive needs its password, and what is added is encrypted with it. A tar\n"
              "archive is written anew, which takes as long as packing it.\n"
              "They read zip, zipx, jar, rar, 7z and tar (plain, .gz, .xz, .bz2, .zst); a single .gz, .xz,\n"
              ".bz2 or .zst file becomes the file it holds, beside it.\n"
              "--password-stdin reads the password from the first line of standard input. A ZIP with a\n"
              "password is AES-256 encrypted by 7-Zip unless --zip-encryption zipcrypto asks for the old\n"
              "scheme that every unzip program opens (and attacks break in minutes). --encoding reads\n"
              "a ZIP's names that are not UTF-8 in NAME (CP437, CP866, Windows-1251, Shift-JIS, GBK, Big5,\n"
              "...) instead of the encoding detected (auto); names always come out as UTF-8.\n"
              "Without a command tarvo opens its window: files given are opened as if dropped on it, and\n"
              "--finder hands a file manager's request to it. A running tarvo takes both over.\n"
              "\n"
              "Exit status: 0 success, 1 a job failed (or an archive tested damaged), 2 wrong usage,\n"
              "130 interrupted.\n";
}

int CommandLine::run(const std::vector<std::string>& arguments, std::istream& input, std::ostream& output,
                     std::ostream& errors)
{
    if (arguments.empty() || arguments.front() == "--help" || arguments.front() == "-h") {
        printUsage(arguments.empty() ? errors : output);
        return arguments.empty() ? kUsage : 0;
    }
    if (arguments.front() == "--version") {
        output << "tarvo " << kVersion << '\n';
        return 0;
    }
    Options options;
    try {
        if (!handles(arguments)) {
            throw UsageError{"unknown command " + arguments.front()};
        }
        options = parse(arguments);
    } catch (const UsageError& error) {
        errors << "tarvo: " << error.message << "\n\n";
        printUsage(errors);
        return kUsage;
    }
    Runner runner(options, input, output, errors);
    if (options.command == "compress") {
        return runner.compress();
    }
    if (options.command == "extract") {
        return runner.extract();
    }
    if (options.command == "test") {
        return runner.test();
    }
    if (options.command == "add" || options.command == "delete" || options.command == "rename") {
        return runner.edit();
    }
    return runner.list();
}

} // namespace tarvo::app
