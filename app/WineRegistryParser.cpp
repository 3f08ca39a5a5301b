#include "WineRegistryParser.h"

#include "Text.h"

#include <array>
#include <optional>
#include <string>

namespace qm::registry {

namespace {

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned hexValue(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
}

void appendCodePoint(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<char16_t>(cp);
    }
}

// Wine escapes everything beyond ASCII, but a file edited by hand may hold UTF-8; a byte that starts no
// valid sequence is taken as Latin-1.
void appendRaw(std::string_view s, std::size_t& pos, std::u16string& out) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    if (const std::optional<char32_t> cp = nextUtf8(s, pos))
        appendCodePoint(out, *cp);
    else
        out += static_cast<char16_t>(lead);
}

void appendData(StoredValue& value, char byte) {
    if (value.data.size() < kMaxData)
        value.data += byte;
    else
        value.tooLong = true;
}

void appendUtf16Le(StoredValue& value, std::u16string_view text) {
    for (const char16_t unit : text) {
        appendData(value, static_cast<char>(unit & 0xFF));
        appendData(value, static_cast<char>(unit >> 8));
    }
}

// Up to eight hex digits from `pos`; false when there are none or more.
bool parseHexNumber(std::string_view s, std::size_t& pos, std::uint32_t& number) {
    const std::size_t start = pos;
    number = 0;
    while (pos < s.size() && isHex(s[pos])) {
        if (pos - start == 8)
            return false;
        number = number * 16 + hexValue(s[pos++]);
    }
    return pos > start;
}

} // namespace

void skipSpaces(std::string_view s, std::size_t& pos) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
        ++pos;
}

bool readLine(std::streambuf& in, std::string& line, bool& overlong) {
    using Traits = std::char_traits<char>;
    line.clear();
    overlong = false;
    Traits::int_type c = in.sbumpc();
    if (Traits::eq_int_type(c, Traits::eof()))
        return false;
    while (!Traits::eq_int_type(c, Traits::eof()) && Traits::to_char_type(c) != '\n') {
        if (line.size() < kMaxLine)
            line += Traits::to_char_type(c);
        else
            overlong = true;
        c = in.sbumpc();
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

bool parseEscaped(std::string_view s, std::size_t& pos, char endChar, std::u16string& out) {
    while (pos < s.size()) {
        if (s[pos] == endChar) {
            ++pos;
            return true;
        }
        if (s[pos] != '\\') {
            appendRaw(s, pos, out);
            continue;
        }
        if (++pos == s.size())
            return false;
        const char escaped = s[pos];
        switch (escaped) {
        case 'a':
            out += u'\a';
            break;
        case 'b':
            out += u'\b';
            break;
        case 'e':
            out += char16_t{0x1B};
            break;
        case 'f':
            out += u'\f';
            break;
        case 'n':
            out += u'\n';
            break;
        case 'r':
            out += u'\r';
            break;
        case 't':
            out += u'\t';
            break;
        case 'v':
            out += u'\v';
            break;
        case 'x':
            if (pos + 1 < s.size() && isHex(s[pos + 1])) {
                unsigned unit = 0;
                for (int k = 0; k < 4 && pos + 1 < s.size() && isHex(s[pos + 1]); ++k)
                    unit = unit * 16 + hexValue(s[++pos]);
                out += static_cast<char16_t>(unit);
            } else {
                out += u'x';
            }
            break;
        default:
            if (escaped >= '0' && escaped <= '7') {
                unsigned unit = static_cast<unsigned>(escaped - '0');
                for (int k = 0; k < 2 && pos + 1 < s.size() && s[pos + 1] >= '0' && s[pos + 1] <= '7'; ++k)
                    unit = unit * 8 + static_cast<unsigned>(s[++pos] - '0');
                out += static_cast<char16_t>(unit);
            } else {
                appendRaw(s, pos, out);
                continue;
            }
        }
        ++pos;
    }
    return false;
}

std::string foldName(std::string_view utf8) {
    std::string out = asciiUpper(utf8);
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (static_cast<unsigned char>(out[i]) != 0xC3)
            continue;
        const auto next = static_cast<unsigned char>(out[++i]);
        if (next >= 0xA0 && next <= 0xBE && next != 0xB7)
            out[i] = static_cast<char>(next - 0x20);
    }
    return out;
}

std::vector<std::string> keyComponents(std::string_view utf8Path) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= utf8Path.size()) {
        std::size_t end = utf8Path.find('\\', start);
        if (end == std::string_view::npos)
            end = utf8Path.size();
        if (end > start)
            components.push_back(foldName(utf8Path.substr(start, end - start)));
        start = end + 1;
    }
    return components;
}

Parse parseHexBytes(std::string_view s, std::size_t pos, StoredValue& value) {
    skipSpaces(s, pos);
    while (pos < s.size() && isHex(s[pos])) {
        unsigned byte = hexValue(s[pos++]);
        if (pos < s.size() && isHex(s[pos]))
            byte = byte * 16 + hexValue(s[pos++]);
        if (pos < s.size() && isHex(s[pos]))
            return Parse::Malformed;
        appendData(value, static_cast<char>(byte));
        skipSpaces(s, pos);
        if (pos < s.size() && s[pos] == ',')
            ++pos;
        skipSpaces(s, pos);
    }
    if (pos == s.size())
        return Parse::Done;
    if (s[pos] != '\\')
        return Parse::Malformed;
    ++pos;
    skipSpaces(s, pos);
    return pos == s.size() ? Parse::Continues : Parse::Malformed;
}

Parse parseData(std::string_view s, std::size_t pos, StoredValue& value) {
    struct StringForm {
        std::string_view tag;
        std::uint32_t type;
    };
    static constexpr std::array<StringForm, 4> kStringForms = {{
        {"\"", kString},
        {"str:\"", kString},
        {"str(2):\"", kExpandString},
        {"str(7):\"", kMultiString},
    }};
    const std::string_view rest = s.substr(pos);
    for (const StringForm& form : kStringForms) {
        if (!rest.starts_with(form.tag))
            continue;
        pos += form.tag.size();
        std::u16string text;
        if (!parseEscaped(s, pos, '"', text))
            return Parse::Malformed;
        // Wine stores a string with its terminating NUL.
        text += u'\0';
        value.type = form.type;
        appendUtf16Le(value, text);
        return Parse::Done;
    }
    if (rest.starts_with("dword:")) {
        pos += 6;
        std::uint32_t number = 0;
        if (!parseHexNumber(s, pos, number))
            return Parse::Malformed;
        skipSpaces(s, pos);
        if (pos != s.size())
            return Parse::Malformed;
        value.type = kNumber;
        for (int k = 0; k < 4; ++k)
            appendData(value, static_cast<char>((number >> (8 * k)) & 0xFF));
        return Parse::Done;
    }
    if (rest.starts_with("hex:")) {
        value.type = 3;
        return parseHexBytes(s, pos + 4, value);
    }
    if (rest.starts_with("hex(")) {
        pos += 4;
        if (!parseHexNumber(s, pos, value.type) || s.substr(pos, 2) != "):")
            return Parse::Malformed;
        return parseHexBytes(s, pos + 2, value);
    }
    return Parse::Malformed;
}

bool containsFolded(std::string_view text, std::string_view upperNeedle) {
    if (upperNeedle.size() > text.size())
        return false;
    for (std::size_t i = 0; i + upperNeedle.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < upperNeedle.size() &&
               (text[i + k] >= 'a' && text[i + k] <= 'z' ? text[i + k] - 32 : text[i + k]) == upperNeedle[k])
            ++k;
        if (k == upperNeedle.size())
            return true;
    }
    return false;
}

} // namespace qm::registry
