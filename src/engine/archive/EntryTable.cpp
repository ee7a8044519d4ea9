// SPDX-License-Identifier: GPL-3.0-or-later

#include "EntryTable.h"

#include <algorithm>
#include <limits>
#include <thread>

namespace tarvo::engine {

namespace {

std::pair<std::string_view, std::string_view> parentAndName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return {{}, path};
    }
    return {path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace

std::uint32_t EntryTable::folderOf(std::string_view parent)
{
    if (m_folders.empty()) {
        m_folders.push_back({});
        m_folderIndex.emplace(std::string(), 0);
    }
    if (m_folders[m_lastFolder].path == parent) {
        return m_lastFolder;
    }
    const auto [at, added] =
        m_folderIndex.try_emplace(std::string(parent), static_cast<std::uint32_t>(m_folders.size()));
    if (added) {
        std::string folded = searchFolded(parent);
        folded += '/';
        m_folders.push_back({std::string(parent), std::move(folded)});
    }
    m_lastFolder = at->second;
    return m_lastFolder;
}

void EntryTable::add(const ArchiveEntry& entry)
{
    const auto [parent, name] = parentAndName(entry.path);
    if (!entry.storedPath.empty()) {
        m_storedPaths.emplace(static_cast<Row>(m_sizes.size()), entry.storedPath);
    }
    m_folderOfRow.push_back(folderOf(parent));
    constexpr std::size_t kBlock = 1 << 20;
    if (m_nameBlocks.empty() || m_nameBlocks.back().size() + name.size() > m_nameBlocks.back().capacity()) {
        m_nameBlocks.emplace_back().reserve(std::max(kBlock, name.size()));
    }
    std::string& block = m_nameBlocks.back();
    m_nameStart.push_back((static_cast<std::uint64_t>(m_nameBlocks.size() - 1) << 32) | block.size());
    block.append(name);
    m_sizes.push_back(entry.isDirectory ? -1 - std::max<std::int64_t>(entry.byteSize, 0) : entry.byteSize);
}

void EntryTable::finish()
{
    m_folderIndex = {};
    m_folders.shrink_to_fit();
    m_folderOfRow.shrink_to_fit();
    if (!m_nameBlocks.empty()) {
        m_nameBlocks.back().shrink_to_fit();
    }
    m_nameStart.shrink_to_fit();
    m_sizes.shrink_to_fit();
}

std::string_view EntryTable::name(Row row) const
{
    const std::uint64_t start = m_nameStart[row];
    const std::string& block = m_nameBlocks[start >> 32];
    const std::size_t at = start & 0xffffffffU;
    const std::uint64_t next = row + 1 < m_nameStart.size() ? m_nameStart[row + 1] : 0;
    const std::size_t end =
        row + 1 < m_nameStart.size() && (next >> 32) == (start >> 32) ? next & 0xffffffffU : block.size();
    return std::string_view(block).substr(at, end - at);
}

std::string EntryTable::path(Row row) const
{
    const std::string_view name = this->name(row);
    const std::string& folder = m_folders[m_folderOfRow[row]].path;
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    if (!folder.empty()) {
        path += folder;
        path += '/';
    }
    path += name;
    return path;
}

ArchiveEntry EntryTable::entry(Row row) const
{
    ArchiveEntry entry;
    entry.path = path(row);
    const std::int64_t size = m_sizes[row];
    entry.isDirectory = size < 0;
    entry.byteSize = size < 0 ? -1 - size : size;
    if (const auto stored = m_storedPaths.find(row); stored != m_storedPaths.end()) {
        entry.storedPath = stored->second;
    }
    return entry;
}

std::vector<EntryTable::Row> EntryTable::matching(const SearchQuery& query, const std::vector<Row>* within,
                                                  const std::atomic<bool>* stop) const
{
    if (query.empty()) {
        return {};
    }
    // A large table is searched in as many parts as there are cores, each part's rows in order.
    constexpr std::size_t kRowsPerPart = 100'000;
    const std::size_t count = within ? within->size() : size();
    const std::size_t parts = std::clamp<std::size_t>(count / kRowsPerPart, 1,
                                                      std::max(1u, std::min(4u, std::thread::hardware_concurrency())));
    std::vector<std::vector<Row>> found(parts);
    const auto search = [&](std::size_t part) {
        found[part] = matchingIn(query, within, part * count / parts, (part + 1) * count / parts, stop);
    };
    std::vector<std::thread> helpers;
    for (std::size_t part = 1; part < parts; ++part) {
        helpers.emplace_back(search, part);
    }
    search(0);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    for (std::size_t part = 1; part < parts; ++part) {
        found[0].insert(found[0].end(), found[part].begin(), found[part].end());
    }
    return std::move(found[0]);
}

std::vector<EntryTable::Row> EntryTable::matchingIn(const SearchQuery& query, const std::vector<Row>* within,
                                                    std::size_t begin, std::size_t end,
                                                    const std::atomic<bool>* stop) const
{
    std::vector<Row> found;
    // Most entries share their folder with the one before: its folded path is made once, and for
    // a part of a path, a folder that holds it decides for every entry in it.
    std::vector<std::int8_t> folderHolds(query.isPattern() ? 0 : m_folders.size(), -1);
    const std::string& part = query.folded();
    std::string path;
    std::uint32_t pathFolder = std::numeric_limits<std::uint32_t>::max();
    const auto test = [&](Row row) {
        const std::uint32_t folder = m_folderOfRow[row];
        if (!query.isPattern()) {
            std::int8_t& holds = folderHolds[folder];
            if (holds < 0) {
                holds = m_folders[folder].folded.find(part) != std::string::npos ? 1 : 0;
            }
            if (holds == 1) {
                return true;
            }
        }
        if (folder != pathFolder) {
            path = m_folders[folder].folded;
            pathFolder = folder;
        }
        const std::size_t nameAt = m_folders[folder].folded.size();
        path.resize(nameAt);
        appendSearchFolded(path, name(row));
        if (!query.isPattern()) {
            // Only a match that takes in some of the name is left to find.
            const std::size_t from = nameAt + 1 > part.size() ? nameAt + 1 - part.size() : 0;
            return path.find(part, from) != std::string::npos;
        }
        return query.matches(path, std::string_view(path).substr(nameAt));
    };
    for (std::size_t i = begin; i < end; ++i) {
        if (stop && (i & 4095) == 0 && stop->load(std::memory_order_relaxed)) {
            break;
        }
        const Row row = within ? (*within)[i] : static_cast<Row>(i);
        if (test(row)) {
            found.push_back(row);
        }
    }
    return found;
}

std::size_t EntryTable::footprint() const
{
    std::size_t bytes = m_nameStart.capacity() * sizeof(std::uint64_t) + m_sizes.capacity() * sizeof(std::int64_t) +
                        m_folderOfRow.capacity() * sizeof(std::uint32_t) + m_folders.capacity() * sizeof(Folder);
    for (const std::string& block : m_nameBlocks) {
        bytes += block.capacity();
    }
    for (const Folder& folder : m_folders) {
        bytes += folder.path.capacity() + folder.folded.capacity();
    }
    return bytes;
}

} // namespace tarvo::engine
