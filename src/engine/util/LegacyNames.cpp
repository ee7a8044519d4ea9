#include "LegacyNames.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>

namespace tarvo::engine {

namespace {

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

std::size_t utf8Length(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    const auto second = static_cast<unsigned char>(length > 1 ? text[1] : 0);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F)) {
        return 0;
    }
    return length;
}

bool isUtf8(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t length = utf8Length(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
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
        const std::size_t length = utf8Length(text);
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
        // A converter that writes nothing for what it reads, or anything that is not UTF-8, is not trusted.
        const std::string_view written(buffer.data(), static_cast<std::size_t>(to - buffer.data()));
        if (isUtf8(written) && written.find('/') == std::string_view::npos &&
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
    ::iconv_close(converter);
    return upper;
}

std::string readableName(std::string_view stored, std::string_view encoding)
{
    if (isUtf8(stored)) {
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
        if (isUtf8(component)) {
            decoded = component;
        } else {
            appendDecoded(decoded, component, converter);
            // What a name read as stays a name of its own: never the folder itself or the one above.
            if (decoded.empty() || decoded == "." || decoded == "..") {
                decoded.clear();
                appendEscaped(decoded, component);
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
