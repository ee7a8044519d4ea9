// SPDX-License-Identifier: GPL-3.0-or-later

#include "SelfTest.h"

#include "engine/archive/ArchiveCatalog.h"
#include "engine/archive/ArchiveEngine.h"
#include "engine/l10n/Catalog.h"
#include "engine/l10n/L10n.h"
#include "engine/tools/ToolLocator.h"
#include "engine/util/FileSystem.h"
#include "engine/util/Uuid.h"
#include "engine/vocabulary/ArchiveError.h"

#include <fstream>
#include <sstream>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPassword = "tarvok";
constexpr const char* kWrongPassword = "tarvo";

// A check that failed: its line is already written.
struct Failed
{};

std::string describe(const std::exception& error)
{
    return error.what();
}

void writeAtomically(const fs::path& path, std::string_view content)
{
    const fs::path temporary = path.parent_path() / ("." + path.filename().string() + ".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out.flush()) {
            throw fs::filesystem_error("cannot write", temporary, std::make_error_code(std::errc::io_error));
        }
    }
    fs::rename(temporary, path);
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw fs::filesystem_error("cannot read", path, std::make_error_code(std::errc::no_such_file_or_directory));
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class Run
{
public:
    Run(std::ostream& log, fs::path work, RarSupport tools)
        : m_log(log)
        , m_work(std::move(work))
        , m_tools(std::move(tools))
    {}

    fs::path pack(const std::vector<fs::path>& items, ArchiveFormat format, const std::string& password = {},
                  const std::string& name = {})
    {
        CompressRequest request;
        request.items = items;
        request.format = format;
        request.name = name;
        request.password = password;
        request.directory = m_work;
        request.tools = m_tools;
        return ArchiveEngine::compress(request);
    }

    fs::path unpack(const fs::path& archive, const std::optional<std::string>& password = {})
    {
        return ArchiveEngine::extract(archive, m_tools, password, {});
    }

    void expect(bool ok, const std::string& line)
    {
        if (!ok) {
            m_log << line << '\n';
            throw Failed{};
        }
    }

    void scenarios()
    {
        const fs::path notes = m_work / "Notes";

        // ZIP, and a lone folder lifted out of the result.
        std::string text = readText(unpack(pack({notes}, ArchiveFormat::zip)) / "a.txt");
        expect(text == "hello", "flatten mismatch: " + text);

        writeAtomically(m_work / "one.txt", "1");
        writeAtomically(m_work / "two.txt", "2");
        const fs::path both = unpack(pack({m_work / "one.txt", m_work / "two.txt"}, ArchiveFormat::zip));
        expect(readText(both / "one.txt") == "1" && readText(both / "two.txt") == "2", "multi-file mismatch");

        if (m_tools.creator && m_tools.extractor) {
            text = readText(unpack(pack({notes}, ArchiveFormat::rar)) / "a.txt");
            expect(text == "hello", "rar mismatch: " + text);
        } else {
            m_log << "SELFTEST skip rar (tools missing)\n";
        }

        const fs::path protectedZip = pack({notes}, ArchiveFormat::zip, kPassword);
        if (m_tools.lister) {
            const ArchiveListing listing = ArchiveCatalog::list({.archive = protectedZip, .tools = m_tools});
            bool named = false;
            for (const ArchiveEntry& entry : listing.entries) {
                named = named || entry.path.find("a.txt") != std::string::npos;
            }
            expect(listing.isEncrypted && named, "password listing mismatch");
        }
        text = readText(unpack(protectedZip, kPassword) / "a.txt");
        expect(text == "hello", "password extract mismatch: " + text);
        try {
            unpack(protectedZip, kWrongPassword);
            expect(false, "wrong password was accepted");
        } catch (const ArchiveError& error) {
            expect(error.errorCase() == ArchiveError::Case::wrongPassword, "wrong password error: " + describe(error));
        }

        if (m_tools.sevenZip) {
            text = readText(unpack(pack({notes}, ArchiveFormat::sevenZip, kPassword), kPassword) / "a.txt");
            expect(text == "hello", "7z mismatch: " + text);
        } else {
            m_log << "SELFTEST skip 7z (tool missing)\n";
        }

        const fs::path tarGz = pack({notes}, ArchiveFormat::tarGz, {}, "NotesPack");
        expect(tarGz.filename().string().starts_with("NotesPack"), "name mismatch: " + tarGz.filename().string());
        text = readText(unpack(tarGz) / "a.txt");
        expect(text == "hello", "tar mismatch: " + text);
        text = readText(ArchiveEngine::extractEntry({.archive = tarGz, .entry = "Notes/a.txt", .tools = m_tools}));
        expect(text == "hello", "entry mismatch: " + text);

        const ArchiveEntry samples[] = {
            {"Photos/cover.png", 0, false}, {"Notes/a.txt", 0, false}, {"Pack/inner.zip", 0, false},
            {"Pack/more.tar.gz", 0, false}, {"Folder", 0, true},
        };
        std::string names = "[";
        bool same = true;
        const std::string_view expected[] = {"photo", "doc", "archivebox", "archivebox", "folder"};
        for (std::size_t i = 0; i < std::size(samples); ++i) {
            names += (i ? ", \"" : "\"") + std::string(samples[i].symbol()) + "\"";
            same = same && samples[i].symbol() == expected[i];
        }
        expect(same, "symbol mismatch: " + names + "]");
    }

private:
    std::ostream& m_log;
    fs::path m_work;
    RarSupport m_tools;
};

bool translationsHold(std::ostream& log, const SelfTest::Lookup& lookup)
{
    struct Check
    {
        AppLanguage language;
        std::vector<std::pair<std::string_view, std::string_view>> pairs;
        const char* failure;
    };
    const Check checks[] = {
        {AppLanguage::german, {{"Compress", "Komprimieren"}, {"Language", "Sprache"}}, "de mismatch"},
        {AppLanguage::chinese, {{"Extract", "解压"}}, "zh mismatch"},
        {AppLanguage::japanese, {{"Move your file here", "ファイルをここにドロップ"}}, "ja mismatch"},
        {AppLanguage::french, {{"About", "À propos"}}, "fr mismatch"},
        {AppLanguage::spanish, {{"Settings", "Ajustes"}}, "es mismatch"},
    };
    for (const Check& check : checks) {
        ScopedLanguage scoped(check.language);
        for (const auto& [key, wanted] : check.pairs) {
            if (lookup(key, L10n::language()) != wanted) {
                log << check.failure << '\n';
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool SelfTest::run(std::ostream& log)
{
    return run(log,
               [](std::string_view key, AppLanguage language) { return std::string(Catalog::text(key, language)); });
}

bool SelfTest::run(std::ostream& log, const Lookup& lookup)
{
    if (!translationsHold(log, lookup)) {
        return false;
    }
    fs::path work;
    try {
        work = fs::temp_directory_path() / ("TarvoSelfTest-" + makeUuid());
        fs::create_directories(work / "Notes");
        writeAtomically(work / "Notes" / "a.txt", "hello");
    } catch (const std::exception& error) {
        log << "SELFTEST error: " << describe(error) << '\n';
        if (!work.empty()) {
            removeTree(work);
        }
        return false;
    }
    bool passed = false;
    try {
        Run(log, work, ToolLocator::rarSupport()).scenarios();
        passed = true;
    } catch (const Failed&) {
    } catch (const std::exception& error) {
        log << "SELFTEST error: " << describe(error) << '\n';
    }
    removeTree(work);
    return passed;
}

} // namespace tarvo::engine
