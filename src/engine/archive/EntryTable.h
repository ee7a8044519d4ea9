// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/util/SearchText.h"
#include "engine/vocabulary/ArchiveEntry.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvo::engine {

// Every entry of a listed archive, held small enough for millions: each folder's path once, and per
// entry its folder, its name in one block of text, its size and whether it is a folder. An entry
// comes back as an ArchiveEntry when asked for. Filled as a listing streams, then only read, from
// any thread.
class EntryTable
{
public:
    using Row = std::uint32_t;

    void add(const ArchiveEntry& entry);
    // Frees what only adding needs; call once the listing is done.
    void finish();

    std::size_t size() const { return m_sizes.size(); }
    ArchiveEntry entry(Row row) const;
    std::string path(Row row) const;

    // The rows whose path matches `query`, in the listing's order; none for a blank query. Looks only
    // among `within` when given (the matches of a query this one narrows). Stops early, with what it
    // found so far, once `stop` is set: a newer query took its place.
    std::vector<Row> matching(const SearchQuery& query, const std::vector<Row>* within = nullptr,
                              const std::atomic<bool>* stop = nullptr) const;

    // What it holds, in bytes, roughly.
    std::size_t footprint() const;

private:
    std::vector<Row> matchingIn(const SearchQuery& query, const std::vector<Row>* within, std::size_t begin,
                                std::size_t end, const std::atomic<bool>* stop) const;

    struct Folder
    {
        std::string path;   // as listed: "Photos/2024"; empty for the archive's top
        std::string folded; // for search, with a slash at its end unless empty
    };
    std::uint32_t folderOf(std::string_view parent);

    std::vector<Folder> m_folders;
    std::vector<std::uint32_t> m_folderOfRow;
    // The names, in blocks of 1 MiB that never move once made (one growing block would, for a
    // moment, be held twice), a name never across two. Each row's start is its block's number in
    // the upper half and the place in it in the lower; a name ends where the next in its block
    // begins, or at the block's end.
    std::string_view name(Row row) const;
    std::vector<std::string> m_nameBlocks;
    std::vector<std::uint64_t> m_nameStart;
    // The size; negative (-1 - size) for a folder.
    std::vector<std::int64_t> m_sizes;
    // Names a tool must be told otherwise, by row: rare (legacy encodings).
    std::unordered_map<Row, std::string> m_storedPaths;
    // While adding: folders by path, and the last one found, which the next entry most often shares.
    std::unordered_map<std::string, std::uint32_t> m_folderIndex;
    std::uint32_t m_lastFolder = 0;
};

} // namespace tarvo::engine
