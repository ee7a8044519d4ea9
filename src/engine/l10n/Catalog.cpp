// SPDX-License-Identifier: GPL-3.0-or-later

#include "Catalog.h"

#include <memory>
#include <mutex>
#include <system_error>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

// The n-th of the NUL-separated forms, or nothing.
std::optional<std::string_view> nthForm(std::string_view forms, std::size_t n)
{
    for (std::size_t i = 0;; ++i) {
        const std::size_t end = forms.find('\0');
        if (i == n) {
            return forms.substr(0, end);
        }
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        forms.remove_prefix(end + 1);
    }
}

std::string_view english(Text text, unsigned long n)
{
    const TextSource& source = textSource(text);
    return n == 1 || source.englishPlural.empty() ? source.english : source.englishPlural;
}

struct Slot
{
    std::once_flag once;
    std::unique_ptr<Catalog> catalog;
};

} // namespace

Catalog::Catalog()
    : m_texts(kTextCount)
{}

Catalog::Catalog(std::optional<MoFile> file)
    : m_file(std::move(file))
    , m_texts(kTextCount)
{
    if (!m_file) {
        return;
    }
    m_rule = PluralRule::fromHeader(m_file->header());
    for (std::size_t i = 0; i < kTextCount; ++i) {
        const TextSource& source = textSource(static_cast<Text>(i));
        m_texts[i] = m_file->find(source.name, source.english).value_or(std::string_view());
    }
}

std::string_view Catalog::text(Text text) const
{
    const std::string_view found = m_texts[static_cast<std::size_t>(text)];
    return found.empty() ? textSource(text).english : found.substr(0, found.find('\0'));
}

std::string_view Catalog::plural(Text text, unsigned long n) const
{
    const std::string_view found = m_texts[static_cast<std::size_t>(text)];
    if (found.empty()) {
        return english(text, n);
    }
    const std::optional<std::string_view> form = nthForm(found, m_rule.form(n));
    return form && !form->empty() ? *form : english(text, n);
}

bool Catalog::translates(Text text) const
{
    const std::string_view found = m_texts[static_cast<std::size_t>(text)];
    if (found.empty()) {
        return false;
    }
    if (textSource(text).englishPlural.empty()) {
        return true;
    }
    for (std::size_t i = 0; i < m_rule.formCount(); ++i) {
        const auto form = nthForm(found, i);
        if (!form || form->empty()) {
            return false;
        }
    }
    return true;
}

const Catalog& Catalog::of(AppLanguage language)
{
    static const std::unique_ptr<Slot[]> slots = std::make_unique<Slot[]>(AppLanguage::allCases().size());
    Slot& slot = slots[language.index()];
    std::call_once(slot.once, [&] {
        const auto file = language.catalogName().empty() ? std::nullopt : locate(language.catalogName());
        slot.catalog = std::make_unique<Catalog>(file ? MoFile::read(*file) : std::nullopt);
    });
    return *slot.catalog;
}

std::optional<fs::path> Catalog::locate(std::string_view catalogName)
{
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error || catalogName.empty()) {
        return std::nullopt;
    }
    // bin/.. when installed; the build's top folder from a program or a test two folders below it.
    fs::path folder = program.parent_path();
    for (int level = 0; level < 3 && !folder.empty(); ++level, folder = folder.parent_path()) {
        fs::path candidate = folder / "share" / "locale" / catalogName / "LC_MESSAGES" / "tarvo.mo";
        if (fs::is_regular_file(candidate, error)) {
            return candidate;
        }
        if (folder == folder.root_path()) {
            break;
        }
    }
    return std::nullopt;
}

} // namespace tarvo::engine
