#include "FileWalk.h"

namespace tarvo::engine {

namespace {

bool isHidden(const std::filesystem::path& path)
{
    const std::string name = path.filename().native();
    return !name.empty() && name.front() == '.';
}

long long regularFilesBelow(const std::filesystem::path& root)
{
    long long total = 0;
    std::vector<std::filesystem::path> pending{root};
    while (!pending.empty()) {
        const std::filesystem::path folder = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        std::filesystem::directory_iterator it(folder, error);
        for (const std::filesystem::directory_iterator end; !error && it != end; it.increment(error)) {
            const std::filesystem::directory_entry& entry = *it;
            if (isHidden(entry.path())) {
                continue;
            }
            // The entry's own type, from the directory listing: a link is neither file nor folder.
            std::error_code typeError;
            const auto type = entry.symlink_status(typeError).type();
            if (typeError) {
                continue;
            }
            if (type == std::filesystem::file_type::regular) {
                ++total;
            } else if (type == std::filesystem::file_type::directory) {
                pending.push_back(entry.path());
            }
        }
    }
    return total;
}

} // namespace

long long FileWalk::count(const std::vector<std::filesystem::path>& items)
{
    long long total = 0;
    for (const auto& item : items) {
        std::error_code error;
        const auto status = std::filesystem::status(item, error);
        if (error || !std::filesystem::exists(status)) {
            continue;
        }
        total += std::filesystem::is_directory(status) ? regularFilesBelow(item) : 1;
    }
    return total < 1 ? 1 : total;
}

} // namespace tarvo::engine
