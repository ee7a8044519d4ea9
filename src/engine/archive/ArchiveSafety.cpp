// SPDX-License-Identifier: GPL-3.0-or-later

#include "ArchiveSafety.h"

#include "ArchiveCatalog.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <sys/statvfs.h>
#include <unordered_map>
#include <vector>

namespace tarvo::engine {

namespace {

constexpr std::int64_t kLargeBytes = 1'000'000'000;

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

bool isAbsolute(std::string_view path)
{
    // "C:\" or "C:/", as Windows archivers may store it; "x:y" is a name.
    const bool drive = path.size() >= 3 && path[1] == ':' && isSeparator(path[2]) &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return drive || (!path.empty() && isSeparator(path.front()));
}

std::vector<std::string_view> components(std::string_view path)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isSeparator(path[end])) {
            ++end;
        }
        if (const std::string_view part = path.substr(start, end - start); !part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

// The archive's symbolic links as a tree of their paths' components, so that a walk finds a link
// among its folders in one step per component. It grows as links are listed.
struct LinkTree
{
    struct Node
    {
        std::unordered_map<std::string, std::unique_ptr<Node>> children;
        std::optional<std::string> target; // this path is a link to there
    };

    void add(std::string_view path, std::string_view target)
    {
        ++count;
        Node* node = &root;
        for (const std::string_view part : components(path)) {
            auto& child = node->children[std::string(part)];
            if (!child) {
                child = std::make_unique<Node>();
            }
            node = child.get();
        }
        node->target = std::string(target);
    }

    static const Node* child(const Node* node, std::string_view part)
    {
        if (node == nullptr) {
            return nullptr;
        }
        const auto found = node->children.find(std::string(part));
        return found == node->children.end() ? nullptr : found->second.get();
    }

    // Walks `path` from the folder `from` (components from the top), following the archive's own
    // links as an unpacking tool would meet them; false once it leaves the top. `followLast`: a
    // link at the end is followed too. A loop, or a listing that would take too long to walk (the
    // steps are shared by all walks), counts as leaving.
    bool staysInside(const std::vector<std::string_view>& from, std::string_view path, bool followLast)
    {
        std::vector<const Node*> folder; // one per component; null once off the tree
        for (const std::string_view part : from) {
            folder.push_back(child(folder.empty() ? &root : folder.back(), part));
        }
        std::vector<std::string_view> pending = components(path);
        std::reverse(pending.begin(), pending.end());
        for (int hops = 0; !pending.empty();) {
            if (--steps < 0) {
                return false;
            }
            const std::string_view part = pending.back();
            pending.pop_back();
            if (part == "..") {
                if (folder.empty()) {
                    return false;
                }
                folder.pop_back();
                continue;
            }
            const Node* node = child(folder.empty() ? &root : folder.back(), part);
            folder.push_back(node);
            if ((!followLast && pending.empty()) || node == nullptr || !node->target) {
                continue;
            }
            if (++hops > 40 || isAbsolute(*node->target)) {
                return false;
            }
            folder.pop_back();
            const std::vector<std::string_view> target = components(*node->target);
            pending.insert(pending.end(), target.rbegin(), target.rend());
        }
        return true;
    }

    Node root;
    std::size_t count = 0;
    std::int64_t steps = 50'000'000;
};

// Walks the components of `path` from `depth` folders deep; false once ".." climbs above the top.
// `depth` ends as the depth reached.
bool staysInside(std::string_view path, std::int64_t& depth)
{
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isSeparator(path[end])) {
            ++end;
        }
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            if (--depth < 0) {
                return false;
            }
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
        start = end + 1;
    }
    return true;
}

std::int64_t saturatingSum(std::int64_t a, std::int64_t b)
{
    return b > 0 && a > std::numeric_limits<std::int64_t>::max() - b ? std::numeric_limits<std::int64_t>::max() : a + b;
}

} // namespace

bool ArchiveSafety::leavesFolder(std::string_view path)
{
    std::int64_t depth = 0;
    return isAbsolute(path) || !staysInside(path, depth);
}

bool ArchiveSafety::linkLeavesFolder(std::string_view entry, std::string_view target, bool hard)
{
    if (hard) {
        return leavesFolder(target);
    }
    if (isAbsolute(target) || leavesFolder(entry)) {
        return true;
    }
    // The link's own folder: the entry without its last component.
    std::size_t end = entry.size();
    while (end > 0 && isSeparator(entry[end - 1])) {
        --end;
    }
    while (end > 0 && !isSeparator(entry[end - 1])) {
        --end;
    }
    std::int64_t depth = 0;
    staysInside(entry.substr(0, end), depth);
    return !staysInside(target, depth);
}

struct SafetyWalk::Links
{
    LinkTree tree;
};

SafetyWalk::SafetyWalk()
    : m_links(std::make_unique<Links>())
{}
SafetyWalk::~SafetyWalk() = default;
SafetyWalk::SafetyWalk(SafetyWalk&&) noexcept = default;
SafetyWalk& SafetyWalk::operator=(SafetyWalk&&) noexcept = default;

void SafetyWalk::add(const ArchiveEntry& entry, const std::string* linkTarget, bool hardLink)
{
    LinkTree& links = m_links->tree;
    // Through a link, "d/../x" or "up/../../x" may land elsewhere than its text says: with links in
    // the archive, every path is walked as the links lead.
    const auto outside = [&](std::string_view path) {
        return ArchiveSafety::leavesFolder(path) || (links.count > 0 && !links.staysInside({}, path, false));
    };
    if (linkTarget && !hardLink) {
        links.add(entry.path, *linkTarget);
    }
    ++m_entries;
    if (!entry.isDirectory) {
        m_unpackedBytes = saturatingSum(m_unpackedBytes, std::max<std::int64_t>(entry.byteSize, 0));
    }
    m_entriesOutside += outside(entry.path) ? 1 : 0;
    if (!linkTarget) {
        return;
    }
    bool leaves = ArchiveSafety::linkLeavesFolder(entry.path, *linkTarget, hardLink);
    if (!leaves && hardLink) {
        leaves = outside(*linkTarget);
    } else if (!leaves) {
        std::vector<std::string_view> folder = components(entry.path);
        if (!folder.empty()) {
            folder.pop_back();
        }
        leaves = !links.staysInside(folder, *linkTarget, true);
    }
    m_linksOutside += leaves ? 1 : 0;
}

SafetyReport SafetyWalk::report(std::int64_t archiveBytes, std::optional<std::int64_t> freeBytes) const
{
    SafetyReport report;
    report.entries = m_entries;
    report.unpackedBytes = m_unpackedBytes;
    report.entriesOutside = m_entriesOutside;
    report.linksOutside = m_linksOutside;
    report.freeBytes = freeBytes;
    report.exceedsFreeSpace = freeBytes && report.unpackedBytes > *freeBytes;
    const std::int64_t hundredfold = archiveBytes > std::numeric_limits<std::int64_t>::max() / 100
                                         ? std::numeric_limits<std::int64_t>::max()
                                         : 100 * std::max<std::int64_t>(archiveBytes, 0);
    report.unpacksHundredfold = report.unpackedBytes > kLargeBytes && report.unpackedBytes > hundredfold;
    return report;
}

SafetyReport SafetyWalk::report(const std::filesystem::path& archive) const
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(archive, error);
    std::optional<std::int64_t> freeBytes;
    struct statvfs info
    {};
    // The new folder is made beside the archive.
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::absolute(archive, ignored).parent_path();
    if (::statvfs(folder.c_str(), &info) == 0) {
        const auto bytes = static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
        freeBytes = static_cast<std::int64_t>(std::min<unsigned long long>(
            bytes, static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max())));
    }
    return report(error ? 0 : static_cast<std::int64_t>(size), freeBytes);
}

namespace {

SafetyWalk walked(const ArchiveListing& listing)
{
    SafetyWalk walk;
    auto link = listing.links.begin();
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        while (link != listing.links.end() && link->entry < i) {
            ++link;
        }
        if (link != listing.links.end() && link->entry == i) {
            walk.add(listing.entries[i], &link->target, link->hard);
        } else {
            walk.add(listing.entries[i]);
        }
    }
    return walk;
}

} // namespace

SafetyReport ArchiveSafety::inspect(const ArchiveListing& listing, std::int64_t archiveBytes,
                                    std::optional<std::int64_t> freeBytes)
{
    return walked(listing).report(archiveBytes, freeBytes);
}

SafetyReport ArchiveSafety::inspect(const ArchiveListing& listing, const std::filesystem::path& archive)
{
    return walked(listing).report(archive);
}

} // namespace tarvo::engine
