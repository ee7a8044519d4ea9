// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarvo::engine {

// A compiled gettext catalog (GNU MO: a magic number, the count of texts, and two tables of the
// lengths and offsets of the original texts and of their translations). The file is data from
// outside: every offset is checked against its size, and a file that does not read is no catalog.
class MoFile
{
public:
    // Catalogs are a few kilobytes; anything past this is not one.
    static constexpr std::size_t kMaxSize = 16 * 1024 * 1024;

    // The catalog in `bytes`, or nothing when they are not a whole, sound MO file.
    static std::optional<MoFile> parse(std::string bytes);
    // The catalog in a file; nothing when it is missing, unreadable or unsound.
    static std::optional<MoFile> read(const std::filesystem::path& file);

    MoFile(MoFile&&) noexcept = default;
    MoFile& operator=(MoFile&&) noexcept = default;

    // The translation of `id` in `context` (no context: empty), its plural forms separated by NUL
    // characters; nothing when the catalog lacks it or holds it untranslated.
    std::optional<std::string_view> find(std::string_view context, std::string_view id) const;
    // The header, the translation of the empty text ("Content-Type: ...\nPlural-Forms: ...").
    std::string_view header() const;
    std::size_t size() const noexcept { return m_translations.size(); }

private:
    MoFile() = default;

    // Held apart so that the views stay valid when the catalog moves.
    std::unique_ptr<const std::string> m_bytes;
    // Keys as MO writes them: the context, "\4", the text; the views point into m_bytes.
    std::unordered_map<std::string_view, std::string_view> m_translations;
};

} // namespace tarvo::engine
