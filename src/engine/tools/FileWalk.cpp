// SPDX-License-Identifier: GPL-3.0-or-later

#include "FileWalk.h"

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

bool isHidden(const fs::path& path)
{
    const std::string name = path.filename().native();
    return !name.empty() && name.front() == '.';
}

// Visits the regular files below `root` to all depths without following links, until `visit`
// returns false; false then.
template <typename Visit> bool visitFilesBelow(const fs::path& root, bool hiddenToo, Visit&& visit)
{
    std::vector<fs::path> pending{root};
    while (!pending.empty()) {
        const fs::path folder = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        fs::directory_iterator it(folder, error);
        for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
            const fs::directory_entry& entry = *it;
            if (!hiddenToo && isHidden(entry.path())) {
                continue;
            }
            // The entry's own type, from the directory listing: a link is neither file nor folder.
            std::error_code typeError;
            const auto type = entry.symlink_status(typeError).type();
            if (typeError) {
                continue;
            }
            if (type == fs::file_type::regular) {
                if (!visit(entry)) {
                    return false;
                }
            } else if (type == fs::file_type::directory) {
                pending.push_back(entry.path());
            }
        }
    }
    return true;
}

} // namespace

long long FileWalk::count(const std::vector<fs::path>& items)
{
    long long total = 0;
    for (const auto& item : items) {
        std::error_code error;
        const auto status = fs::status(item, error);
        if (error || !fs::exists(status)) {
            continue;
        }
        if (fs::is_directory(status)) {
            visitFilesBelow(item, false, [&](const fs::directory_entry&) { return ++total, true; });
        } else {
            ++total;
        }
    }
    return total < 1 ? 1 : total;
}

bool FileWalk::holdsAtLeast(const std::vector<fs::path>& items, std::uintmax_t bytes)
{
    std::uintmax_t total = 0;
    const auto add = [&](std::uintmax_t size) {
        total += size;
        return total < bytes;
    };
    for (const auto& item : items) {
        std::error_code error;
        const auto status = fs::symlink_status(item, error);
        if (fs::is_directory(status)) {
            if (!visitFilesBelow(item, true, [&](const fs::directory_entry& entry) {
                    std::error_code sizeError;
                    const std::uintmax_t size = entry.file_size(sizeError);
                    return add(sizeError ? 0 : size);
                })) {
                return true;
            }
        } else if (fs::is_regular_file(status) && !add(fs::file_size(item, error))) {
            return true;
        }
    }
    return total >= bytes;
}

} // namespace tarvo::engine
