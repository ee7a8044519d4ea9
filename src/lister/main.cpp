// SPDX-License-Identifier: GPL-3.0-or-later

// tarvo-lister --format zip|7z|tar [--encoding auto|NAME [--detect]] -- ARCHIVE: what Tarvo's
// preview reads of an archive, one line per entry, so that untrusted archives are parsed in a child
// process and never in the window's.
//
// Each line is "TYPE SIZE FLAGS PATH[ STORED][ LINK]": TYPE f (file), d (folder), l (symbolic link),
// h (hard link) or o (anything else); SIZE in bytes, "-" when the archive gives none; FLAGS "e" for
// an encrypted entry, else "-", followed by "r" when STORED follows: the name's bytes as the archive
// has them, where PATH shows them otherwise. Fields have every byte up to the space, DEL and the
// backslash written as a backslash and two hex digits, so that a field never holds white space.
// A ZIP's names that are not UTF-8 are read in the encoding given, or in the one detected (auto),
// which a first line "encoding NAME" tells; other bytes that are not UTF-8 are shown as "%xx", as
// lsar shows them. With --detect, only that encoding is printed, and nothing when none applies.
//
// Exit statuses: ListerStatus.h.
#include "engine/tools/ListerStatus.h"
#include "engine/util/LegacyNames.h"
#include "engine/util/TextUtil.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <uchardet/uchardet.h>
#include <unistd.h>
#include <vector>

namespace {

using tarvo::lister::ListerStatus;

// libarchive's errno for "not this format" on Linux (its private ARCHIVE_ERRNO_FILE_FORMAT).
constexpr int kFileFormatError = EILSEQ;

// libarchive's own file reader calls fstat for each seek, twice per ZIP entry: these do not.
struct Source
{
    int descriptor = -1;
    char buffer[1 << 16];
};

la_ssize_t readBlock(archive*, void* data, const void** block)
{
    auto* source = static_cast<Source*>(data);
    *block = source->buffer;
    ssize_t count = 0;
    while ((count = ::read(source->descriptor, source->buffer, sizeof source->buffer)) < 0 && errno == EINTR) {
    }
    return count;
}

la_int64_t seekTo(archive*, void* data, la_int64_t offset, int whence)
{
    return ::lseek(static_cast<Source*>(data)->descriptor, offset, whence);
}

la_int64_t skipAhead(archive*, void* data, la_int64_t count)
{
    const int descriptor = static_cast<Source*>(data)->descriptor;
    const off_t from = ::lseek(descriptor, 0, SEEK_CUR);
    const off_t to = from < 0 ? -1 : ::lseek(descriptor, count, SEEK_CUR);
    return to < 0 ? 0 : to - from;
}

// `stored`: bytes that are not UTF-8 are written as backslash escapes too, to be read back exactly.
void putEscaped(std::string& line, std::string_view text, bool stored = false)
{
    static constexpr char kHex[] = "0123456789abcdef";
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text[0]);
        const std::size_t length = tarvo::engine::utf8SequenceLength(text);
        if (length == 0 && !stored) {
            line += '%';
            line += kHex[byte >> 4];
            line += kHex[byte & 0xf];
            text.remove_prefix(1);
        } else if (length == 0 || byte <= 0x20 || byte == 0x7f || byte == '\\') {
            line += '\\';
            line += kHex[byte >> 4];
            line += kHex[byte & 0xf];
            text.remove_prefix(1);
        } else {
            line.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
}

std::uint64_t little(const unsigned char* at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | at[i];
    }
    return value;
}

// A name in the ZIP's central directory, which still has the names as stored.
struct CentralName
{
    std::uint64_t offset = 0; // of its local header, the order libarchive lists in
    std::string name;
    bool unicode = false;    // flagged as UTF-8
    bool madeOnUnix = false; // where a backslash is part of a name
};

std::vector<CentralName> centralNames(int descriptor)
{
    struct stat info
    {};
    if (::fstat(descriptor, &info) != 0 || info.st_size < 22) {
        return {};
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (mapped == MAP_FAILED) {
        return {};
    }
    const auto* data = static_cast<const unsigned char*>(mapped);
    std::vector<CentralName> names;
    // The end record is in the last 64 KiB; its comment may hold anything.
    std::size_t end = size - 22;
    const std::size_t lowest = size > 22 + 0xFFFF ? size - 22 - 0xFFFF : 0;
    while (end > lowest && std::memcmp(data + end, "PK\5\6", 4) != 0) {
        --end;
    }
    if (std::memcmp(data + end, "PK\5\6", 4) == 0) {
        std::uint64_t count = little(data + end + 10, 2);
        std::uint64_t offset = little(data + end + 16, 4);
        if ((count == 0xFFFF || offset == 0xFFFFFFFF) && end >= 20 && std::memcmp(data + end - 20, "PK\6\7", 4) == 0) {
            const std::uint64_t record = little(data + end - 12, 8);
            if (size >= 56 && record <= size - 56 && std::memcmp(data + record, "PK\6\6", 4) == 0) {
                count = little(data + record + 32, 8);
                offset = little(data + record + 48, 8);
            }
        }
        for (std::uint64_t i = 0; i < count && offset <= size && size - offset >= 46; ++i) {
            const unsigned char* header = data + offset;
            const std::size_t nameLength = little(header + 28, 2);
            if (std::memcmp(header, "PK\1\2", 4) != 0 || nameLength > size - offset - 46) {
                break;
            }
            CentralName entry;
            entry.offset = little(header + 42, 4);
            entry.name.assign(reinterpret_cast<const char*>(header + 46), nameLength);
            entry.unicode = (little(header + 8, 2) & 0x800) != 0;
            // The upper byte of "version made by": 3 is Unix.
            entry.madeOnUnix = header[5] == 3;
            names.push_back(std::move(entry));
            offset += 46 + nameLength + little(header + 30, 2) + little(header + 32, 2);
        }
    }
    ::munmap(mapped, size);
    return names;
}

// libarchive turns the backslashes of a ZIP name without slashes into slashes, taking every
// archive for one made on MS-DOS. When a name made on Unix has such backslashes, this is every
// stored name in the order of the local headers, which is the order libarchive lists them in;
// otherwise it is empty.
std::vector<std::string> storedZipNames(std::vector<CentralName> central)
{
    const bool restore = std::any_of(central.begin(), central.end(), [](const CentralName& entry) {
        return entry.madeOnUnix && entry.name.find('\\') != std::string::npos &&
               entry.name.find('/') == std::string::npos;
    });
    std::vector<std::string> names;
    if (restore) {
        std::stable_sort(central.begin(), central.end(),
                         [](const CentralName& a, const CentralName& b) { return a.offset < b.offset; });
        for (CentralName& entry : central) {
            names.push_back(std::move(entry.name));
        }
    }
    return names;
}

// The encoding of the names stored without the UTF-8 flag that are not UTF-8, as a detector made
// for it reads all of them together; none when every name is UTF-8. CP437, what the ZIP format
// itself prescribes, when the detector cannot tell.
std::string detectedEncoding(const std::vector<CentralName>& central)
{
    std::string text;
    for (const CentralName& entry : central) {
        if (!entry.unicode && !tarvo::engine::isValidUtf8(entry.name)) {
            text += entry.name;
            text += '\n';
        }
    }
    if (text.empty()) {
        return {};
    }
    uchardet_t detector = uchardet_new();
    std::optional<std::string> named;
    if (detector != nullptr && uchardet_handle_data(detector, text.data(), text.size()) == 0) {
        uchardet_data_end(detector);
        named = tarvo::engine::nameEncodingNamed(uchardet_get_charset(detector));
    }
    if (detector != nullptr) {
        uchardet_delete(detector);
    }
    return named.value_or("CP437");
}

// The stored name when libarchive's is that name with its backslashes made slashes.
const char* storedName(const std::vector<std::string>& stored, std::size_t index, const char* path)
{
    if (path == nullptr || index >= stored.size()) {
        return path;
    }
    const std::string& name = stored[index];
    if (name.find('/') != std::string::npos || name.size() != std::strlen(path)) {
        return path;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != path[i] && !(name[i] == '\\' && path[i] == '/')) {
            return path;
        }
    }
    return name.c_str();
}

char typeOf(archive_entry* entry)
{
    if (archive_entry_hardlink(entry) != nullptr) {
        return 'h';
    }
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
        return 'f';
    case AE_IFDIR:
        return 'd';
    case AE_IFLNK:
        return 'l';
    default:
        return 'o';
    }
}

bool enableFormat(archive* reader, std::string_view format)
{
    // Only the formats and filters the archive's kind can hold: no mtree (which names files on this
    // disk), no raw reader. Debian's libarchive has these filters built in; elsewhere libarchive may
    // run the compressor's own program instead.
    if (format == "zip") {
        archive_read_support_format_zip_seekable(reader);
    } else if (format == "7z") {
        archive_read_support_format_7zip(reader);
    } else if (format == "tar") {
        archive_read_support_format_tar(reader);
        archive_read_support_format_gnutar(reader);
        archive_read_support_filter_gzip(reader);
        archive_read_support_filter_bzip2(reader);
        archive_read_support_filter_xz(reader);
        archive_read_support_filter_lzma(reader);
        archive_read_support_filter_zstd(reader);
    } else {
        return false;
    }
    return true;
}

// Nothing could be listed because the headers themselves are encrypted (7-Zip's -mhe).
bool headersEncrypted(archive* reader, bool listedAny)
{
    const char* message = archive_error_string(reader);
    return !listedAny && message != nullptr && std::strstr(message, "encrypted") != nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    const char* requested = nullptr;
    bool detectOnly = false;
    int next = 3;
    if (argc > next + 1 && std::strcmp(argv[next], "--encoding") == 0) {
        requested = argv[next + 1];
        next += 2;
    }
    if (requested != nullptr && argc > next && std::strcmp(argv[next], "--detect") == 0) {
        detectOnly = true;
        ++next;
    }
    if (argc != next + 2 || std::strcmp(argv[1], "--format") != 0 || std::strcmp(argv[next], "--") != 0) {
        std::fputs("usage: tarvo-lister --format zip|7z|tar [--encoding auto|NAME [--detect]] -- ARCHIVE\n", stderr);
        return ListerStatus::usage;
    }
    const char* archivePath = argv[next + 1];
    std::optional<std::string> chosen;
    if (requested != nullptr && std::strcmp(requested, "auto") != 0) {
        chosen = tarvo::engine::nameEncodingNamed(requested);
        if (!chosen) {
            std::fprintf(stderr, "tarvo-lister: unknown encoding %s\n", requested);
            return ListerStatus::usage;
        }
    }
    // Names come out as the archive stores them or as UTF-8; times are never read, and a fixed zone
    // spares the C library a look at /etc/localtime for every entry.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    ::setenv("TZ", "UTC0", 1);

    archive* reader = archive_read_new();
    if (reader == nullptr || !enableFormat(reader, argv[2])) {
        std::fputs("tarvo-lister: unknown format\n", stderr);
        return ListerStatus::usage;
    }
    static Source source;
    source.descriptor = ::open(archivePath, O_RDONLY | O_CLOEXEC);
    if (source.descriptor < 0) {
        std::fprintf(stderr, "%s: %s\n", archivePath, std::strerror(errno));
        return ListerStatus::unreadable;
    }
    const bool zip = std::strcmp(argv[2], "zip") == 0;
    std::vector<CentralName> central = zip ? centralNames(source.descriptor) : std::vector<CentralName>();
    std::string encoding;
    if (zip) {
        encoding = chosen ? *chosen : detectedEncoding(central);
    }
    if (detectOnly) {
        if (!encoding.empty()) {
            std::printf("%s\n", encoding.c_str());
        }
        return std::fflush(stdout) == 0 ? ListerStatus::listed : ListerStatus::unreadable;
    }
    const std::vector<std::string> stored = storedZipNames(std::move(central));
    archive_read_set_read_callback(reader, readBlock);
    archive_read_set_seek_callback(reader, seekTo);
    archive_read_set_skip_callback(reader, skipAhead);
    archive_read_set_callback_data(reader, &source);
    if (archive_read_open1(reader) != ARCHIVE_OK) {
        const char* message = archive_error_string(reader);
        std::fprintf(stderr, "%s\n", message != nullptr ? message : "cannot read the archive");
        return archive_errno(reader) == kFileFormatError ? ListerStatus::notAnArchive : ListerStatus::unreadable;
    }

    static char output[1 << 16];
    std::setvbuf(stdout, output, _IOFBF, sizeof output);
    std::string line;
    if (!encoding.empty()) {
        line = "encoding ";
        putEscaped(line, encoding);
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    bool listedAny = false;
    bool foreignNames = false;
    std::size_t index = 0;
    int result = ARCHIVE_OK;
    archive_entry* entry = nullptr;
    while ((result = archive_read_next_header(reader, &entry)) == ARCHIVE_OK || result == ARCHIVE_WARN) {
        const char* path = storedName(stored, index++, archive_entry_pathname(entry));
        if (path == nullptr || *path == '\0') {
            continue;
        }
        listedAny = true;
        const char type = typeOf(entry);
        const char* link = archive_entry_hardlink(entry);
        if (link == nullptr) {
            link = archive_entry_symlink(entry);
        }
        std::int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
        // Outside tar a symbolic link's target is its content, and its size is the target's.
        if (type == 'l' && link != nullptr && size <= 0 && std::strcmp(argv[2], "tar") != 0) {
            size = static_cast<std::int64_t>(std::strlen(link));
        }
        const bool legacy = !tarvo::engine::isValidUtf8(path) || (link != nullptr && !tarvo::engine::isValidUtf8(link));
        foreignNames = foreignNames || (legacy && encoding.empty());
        const std::string shown = legacy ? tarvo::engine::readableName(path, encoding) : std::string();
        line.clear();
        line += type;
        line += ' ';
        line += size >= 0 ? std::to_string(size) : "-";
        line += archive_entry_is_encrypted(entry) ? " e" : " -";
        if (legacy && shown != path) {
            line += "r ";
            putEscaped(line, shown);
            line += ' ';
            putEscaped(line, path, true);
        } else {
            line += ' ';
            putEscaped(line, path);
        }
        if (link != nullptr && *link != '\0') {
            line += ' ';
            putEscaped(line, legacy ? tarvo::engine::readableName(link, encoding) : std::string(link));
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    std::fflush(stdout);
    if (result != ARCHIVE_EOF) {
        const char* message = archive_error_string(reader);
        std::fprintf(stderr, "%s\n", message != nullptr ? message : "cannot read the archive");
        if (headersEncrypted(reader, listedAny)) {
            return ListerStatus::headersEncrypted;
        }
        return ListerStatus::unreadable;
    }
    if (std::ferror(stdout)) {
        return ListerStatus::unreadable;
    }
    return foreignNames ? ListerStatus::foreignNames : ListerStatus::listed;
}
