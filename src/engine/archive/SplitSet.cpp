// SPDX-License-Identifier: GPL-3.0-or-later

#include "SplitSet.h"

#include "engine/util/TextUtil.h"
#include "engine/vocabulary/ArchiveError.h"
#include "engine/vocabulary/ArchiveNames.h"

#include <algorithm>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo::engine {

namespace fs = std::filesystem;

namespace {

using Family = ArchiveNames::SplitPart::Family;
using Naming = ArchiveNames::SplitPart;

bool allDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// The disk number of a zip -s set's last part, in its end-of-central-directory record: the set has
// one part more.
std::optional<int> lastDiskOf(const fs::path& zip)
{
    // Opened without waiting, and read only when it is a plain file: a pipe under an archive's name
    // would keep the reader waiting for ever.
    const int descriptor = ::open(zip.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    struct stat info
    {};
    std::string bytes;
    if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
        const auto size = static_cast<std::uintmax_t>(info.st_size);
        const std::uintmax_t tail = std::min<std::uintmax_t>(size, 65557);
        bytes.resize(tail);
        const ssize_t got = ::pread(descriptor, bytes.data(), tail, static_cast<off_t>(size - tail));
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    ::close(descriptor);
    const std::size_t at = bytes.rfind("PK\x05\x06");
    if (at == std::string::npos || at + 6 > bytes.size()) {
        return std::nullopt;
    }
    return static_cast<unsigned char>(bytes[at + 4]) | (static_cast<unsigned char>(bytes[at + 5]) << 8);
}

std::optional<Naming> namingOf(const std::string& name, const fs::path& folder)
{
    if (auto part = ArchiveNames::splitPart(name)) {
        return part;
    }
    // The first part of an old RAR set and the last of a zip -s set have an archive's plain name:
    // their neighbours, or the end record counting the parts, tell them.
    const std::string lower = asciiLower(name);
    const std::string base = name.substr(0, name.size() - std::min<std::size_t>(name.size(), 4));
    if (lower.ends_with(".zip") && (isFile(folder / (base + ".z01")) || isFile(folder / (base + ".Z01")) ||
                                    lastDiskOf(folder / name).value_or(0) > 0)) {
        return Naming{Family::zipSplit, base, 2};
    }
    if (lower.ends_with(".rar") && (isFile(folder / (base + ".r00")) || isFile(folder / (base + ".R00")))) {
        return Naming{Family::rarOld, base, 2};
    }
    return std::nullopt;
}

// Which part of the set `name` is, counting from 1; 0 for a name of another file.
int partNumber(const Naming& naming, const std::string& name)
{
    if (!name.starts_with(naming.base) || name.size() <= naming.base.size()) {
        return 0;
    }
    const std::string rest = asciiLower(std::string_view(name).substr(naming.base.size()));
    const auto number = [](std::string_view digits) { return digits.size() > 6 ? 0 : std::stoi(std::string(digits)); };
    switch (naming.family) {
    case Family::numbered:
        return rest.size() == naming.width + 1 && rest[0] == '.' && allDigits(rest.substr(1)) ? number(rest.substr(1))
                                                                                              : 0;
    case Family::zipSplit:
        return rest.size() >= 4 && rest.starts_with(".z") && allDigits(rest.substr(2)) ? number(rest.substr(2)) : 0;
    case Family::rarParts:
        return rest.size() == naming.width + 9 && rest.starts_with(".part") && rest.ends_with(".rar") &&
                       allDigits(std::string_view(rest).substr(5, naming.width))
                   ? number(std::string_view(rest).substr(5, naming.width))
                   : 0;
    case Family::rarOld:
        if (rest == ".rar") {
            return 1;
        }
        return rest.size() >= 4 && rest.starts_with(".r") && allDigits(rest.substr(2)) ? number(rest.substr(2)) + 2 : 0;
    }
    return 0;
}

std::string padded(int number, std::size_t width)
{
    std::string digits = std::to_string(number);
    return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

std::string partName(const Naming& naming, int number)
{
    switch (naming.family) {
    case Family::numbered:
        return naming.base + "." + padded(number, naming.width);
    case Family::zipSplit:
        return naming.base + ".z" + padded(number, naming.width);
    case Family::rarParts:
        return naming.base + ".part" + padded(number, naming.width) + ".rar";
    case Family::rarOld:
        return number == 1 ? naming.base + ".rar" : naming.base + ".r" + padded(number - 2, naming.width);
    }
    return {};
}

} // namespace

std::optional<SplitSet> SplitSet::of(const fs::path& path)
{
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    const auto naming = namingOf(path.filename().string(), folder);
    if (!naming) {
        return std::nullopt;
    }
    std::map<int, fs::path> found;
    std::optional<fs::path> zipLast;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (naming->family == Family::zipSplit && asciiLower(name) == asciiLower(naming->base + ".zip") &&
            name.starts_with(naming->base)) {
            zipLast = path.parent_path() / name;
        } else if (const int number = partNumber(*naming, name); number > 0 && isFile(it->path())) {
            found.emplace(number, path.parent_path() / name);
        }
    }
    SplitSet set;
    int expected = found.empty() ? 1 : found.rbegin()->first;
    if (naming->family == Family::zipSplit) {
        if (!zipLast) {
            set.missingNumber = expected + (found.empty() ? 0 : 1);
            set.missingName = naming->base + ".zip";
        } else {
            expected = lastDiskOf(*zipLast).value_or(expected);
        }
    }
    for (int number = 1; number <= expected; ++number) {
        const auto part = found.find(number);
        if (part == found.end()) {
            if (set.missingNumber == 0 || number < set.missingNumber) {
                set.missingNumber = number;
                set.missingName = partName(*naming, number);
            }
            continue;
        }
        set.parts.push_back(part->second);
    }
    if (zipLast) {
        set.parts.push_back(*zipLast);
    }
    for (const fs::path& part : set.parts) {
        const std::uintmax_t size = fs::file_size(part, error);
        set.bytes += error ? 0 : size;
    }
    set.opened = naming->family == Family::zipSplit ? path.parent_path() / (naming->base + ".zip")
                                                    : path.parent_path() / partName(*naming, 1);
    if (zipLast) {
        set.opened = *zipLast;
    } else if (!set.parts.empty() && naming->family != Family::zipSplit && found.count(1)) {
        set.opened = found.at(1);
    }
    return set;
}

fs::path SplitSet::whole(const fs::path& path)
{
    const auto set = of(path);
    if (!set) {
        return path;
    }
    if (set->missingNumber > 0) {
        throw ArchiveError::partMissing(set->missingNumber, set->missingName);
    }
    return set->opened;
}

} // namespace tarvo::engine
