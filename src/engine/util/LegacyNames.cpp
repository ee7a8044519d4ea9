// SPDX-License-Identifier: GPL-3.0-or-later

#include "LegacyNames.h"

#include "TextUtil.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>

namespace tarvo::engine {

namespace {

constexpr std::size_t kNameMax = 255;

struct Known
{
    std::string_view name;  // as shown and accepted
    std::string_view iconv; // what glibc's iconv reads it by
    std::array<std::string_view, 3> aliases;
};

// Windows' code pages where they extend the standard ones: ZIPs from Windows carry those.
constexpr std::array<Known, 20> kKnown{{
    {"CP437", "CP437", {"IBM437", "437"}},
    {"CP850", "CP850", {"IBM850", "850"}},
    {"CP852", "CP852", {"IBM852", "852"}},
    {"CP866", "CP866", {"IBM866", "866"}},
    {"Windows-1250", "WINDOWS-1250", {"CP1250", "1250"}},
    {"Windows-1251", "WINDOWS-1251", {"CP1251", "1251"}},
    {"Windows-1252", "WINDOWS-1252", {"CP1252", "1252"}},
    {"KOI8-R", "KOI8-R", {}},
    {"KOI8-U", "KOI8-U", {}},
    {"Shift-JIS", "CP932", {"SJIS", "CP932", "WINDOWS-31J"}},
    {"EUC-JP", "EUC-JP", {}},
    {"GBK", "GBK", {"CP936", "GB2312"}},
    {"GB18030", "GB18030", {}},
    {"Big5", "BIG5", {"CP950"}},
    {"EUC-KR", "CP949", {"CP949", "UHC"}},
    {"ISO-8859-1", "ISO-8859-1", {"LATIN1"}},
    {"ISO-8859-2", "ISO-8859-2", {"LATIN2"}},
    {"ISO-8859-5", "ISO-8859-5", {}},
    {"ISO-8859-7", "ISO-8859-7", {}},
    {"ISO-8859-15", "ISO-8859-15", {"LATIN9"}},
}};

// Upper case without "-", "_" and blanks: "shift_jis" and "Shift-JIS" are one name.
std::string folded(std::string_view text)
{
    std::string key;
    for (const char c : text) {
        if (c != '-' && c != '_' && c != ' ') {
            key += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        }
    }
    return key;
}

std::string_view iconvName(std::string_view encoding)
{
    const std::string key = folded(encoding);
    for (const Known& known : kKnown) {
        if (folded(known.name) == key) {
            return known.iconv;
        }
    }
    return encoding;
}

void appendPercent(std::string& out, unsigned char byte)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0xf];
}

// Valid UTF-8 kept, every other byte as "%xx".
void appendEscaped(std::string& out, std::string_view text)
{
    while (!text.empty()) {
        const std::size_t length = utf8SequenceLength(text);
        if (length == 0) {
            appendPercent(out, static_cast<unsigned char>(text[0]));
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
}

// One component read through `converter`, a byte that starts no character at a time set aside.
void appendDecoded(std::string& out, std::string_view component, iconv_t converter)
{
    std::string buffer(component.size() * 4 + 16, '\0');
    while (!component.empty()) {
        char* in = const_cast<char*>(component.data());
        std::size_t inLeft = component.size();
        char* to = buffer.data();
        std::size_t toLeft = buffer.size();
        ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
        const std::size_t done = ::iconv(converter, &in, &inLeft, &to, &toLeft);
        const int failure = done == static_cast<std::size_t>(-1) ? errno : 0;
        // Windows-1258 and TCVN hold a letter back for an accent that may follow: what was read
        // ends here, so the letter is let out.
        ::iconv(converter, nullptr, nullptr, &to, &toLeft);
        // What a converter writes is trusted only as UTF-8 with no slash and no NUL in it.
        const std::string_view written(buffer.data(), static_cast<std::size_t>(to - buffer.data()));
        if (isValidUtf8(written) && written.find('/') == std::string_view::npos &&
            written.find('\0') == std::string_view::npos) {
            out.append(written);
        } else {
            appendEscaped(out, component.substr(0, component.size() - inLeft));
        }
        component.remove_prefix(component.size() - inLeft);
        if (failure != 0 && !component.empty()) {
            appendPercent(out, static_cast<unsigned char>(component[0]));
            component.remove_prefix(1);
        }
    }
}

} // namespace

const std::vector<std::string_view>& commonNameEncodings()
{
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> all;
        for (const Known& known : kKnown) {
            all.push_back(known.name);
        }
        return all;
    }();
    return names;
}

std::optional<std::string> nameEncodingNamed(std::string_view typed)
{
    const std::string key = folded(typed);
    if (key.empty()) {
        return std::nullopt;
    }
    for (const Known& known : kKnown) {
        if (folded(known.name) == key ||
            std::any_of(known.aliases.begin(), known.aliases.end(),
                        [&](std::string_view alias) { return !alias.empty() && folded(alias) == key; })) {
            return std::string(known.name);
        }
    }
    // UTF-8 names need no reading, and an encoding of two-byte units would read every name as another.
    if (key.starts_with("UTF") || key.starts_with("UCS") || key == "AUTO") {
        return std::nullopt;
    }
    std::string upper(typed);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    if (upper.find_first_of("/ ") != std::string::npos) {
        return std::nullopt;
    }
    const iconv_t converter = ::iconv_open("UTF-8", upper.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    // Only encodings that read ASCII as ASCII: names keep their slashes and dots.
    char sample[] = "a/.";
    char* in = sample;
    std::size_t inLeft = 3;
    char out[16] = {};
    char* to = out;
    std::size_t toLeft = sizeof out;
    const bool ascii = ::iconv(converter, &in, &inLeft, &to, &toLeft) != static_cast<std::size_t>(-1) &&
                       std::string_view(out, static_cast<std::size_t>(to - out)) == "a/.";
    ::iconv_close(converter);
    return ascii ? std::optional<std::string>(upper) : std::nullopt;
}

std::string readableName(std::string_view stored, std::string_view encoding)
{
    if (isValidUtf8(stored)) {
        return std::string(stored);
    }
    std::string out;
    const std::string source(iconvName(encoding));
    const iconv_t converter = encoding.empty() ? reinterpret_cast<iconv_t>(-1) : ::iconv_open("UTF-8", source.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        appendEscaped(out, stored);
        return out;
    }
    for (;;) {
        const std::size_t slash = stored.find('/');
        const std::string_view component = stored.substr(0, slash);
        std::string decoded;
        if (isValidUtf8(component)) {
            decoded = component;
        } else {
            appendDecoded(decoded, component, converter);
            // What a name read as stays a name of its own: never the folder itself or the one above.
            if (decoded.empty() || decoded == "." || decoded == "..") {
                decoded.clear();
                appendEscaped(decoded, component);
            }
            // Read, a name may grow past what a file system takes (255 bytes): it is cut at a
            // character before its extension, so that the listing and the disk still agree.
            if (decoded.size() > kNameMax) {
                const std::size_t dot = decoded.rfind('.');
                const std::string extension =
                    dot != std::string::npos && decoded.size() - dot <= 16 ? decoded.substr(dot) : std::string();
                std::size_t cut = kNameMax - extension.size();
                while (cut > 0 && (static_cast<unsigned char>(decoded[cut]) & 0xC0) == 0x80) {
                    --cut;
                }
                decoded.resize(cut);
                decoded += extension;
            }
        }
        out += decoded;
        if (slash == std::string_view::npos) {
            break;
        }
        out += '/';
        stored.remove_prefix(slash + 1);
    }
    ::iconv_close(converter);
    return out;
}

} // namespace tarvo::engine
