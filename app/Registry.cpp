#include "Registry.h"

#include "Endian.h"
#include "Text.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qm {

namespace fs = std::filesystem;

namespace {

// The value is read into a buffer of this many bytes; anything longer fails.
constexpr std::size_t kBufferSize = 1024;

constexpr std::uint32_t kString = 1;
constexpr std::uint32_t kExpandString = 2;
constexpr std::uint32_t kNumber = 4;
constexpr std::uint32_t kMultiString = 7;

std::string numberText(std::string_view bytes) {
    if (bytes.empty())
        return {};
    const std::size_t count = std::min<std::size_t>(bytes.size(), 4);
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    // An "&h" literal of up to four digits is a 16-bit number, of up to eight a 32-bit one, both signed.
    if (count <= 2)
        return std::to_string(static_cast<std::int16_t>(value));
    return std::to_string(static_cast<std::int32_t>(value));
}

// What every platform does once the value's bytes and reported length are known.
bool takeValue(std::uint32_t type, std::string_view bytes, std::string& result) {
    if (bytes.size() > kBufferSize) {
        result.clear();
        return false;
    }
    // The byte at the reported length is the terminator when the value was stored with one; only that
    // one is dropped, so a value stored without it is kept whole.
    if (!bytes.empty() && bytes.back() == '\0')
        bytes.remove_suffix(1);
    switch (type) {
    case kString:
        result.assign(bytes);
        break;
    case kNumber:
        result = numberText(bytes);
        break;
    default:
        break; // expandable strings and every other type leave the result alone
    }
    return true;
}

// Longest line of a Wine registry file decoded. A value line longer than this cannot fit the buffer in any
// form Wine writes (at most six characters of the file per byte), so it is only recognised, not decoded.
constexpr std::size_t kMaxLine = std::size_t{64} * 1024;
// Data bytes kept; more fail in every type, even a UTF-16 string, which halves in the ANSI code page.
constexpr std::size_t kMaxData = 2 * kBufferSize + 2;

// A prefix's system.reg is a few MB; anything far larger is no registry Wine wrote.
constexpr std::uintmax_t kMaxRegistryFile = std::uintmax_t{64} << 20;

struct StoredValue {
    std::uint32_t type = 0;
    std::string data; // as the registry stores it: strings in UTF-16LE
    bool tooLong = false;
};

struct Target {
    bool used = false;
    std::vector<std::string> path; // folded components
    bool keyFound = false;
    std::optional<StoredValue> value;
};

enum class Parse { Done, Continues, Malformed };

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

void skipSpaces(std::string_view s, std::size_t& pos) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
        ++pos;
}

// False at the end of the file. Keeps at most kMaxLine characters and says whether there were more, so a
// file without line breaks costs no more memory than one line.
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

// Reads Wine's escaped text from `pos` up to the unescaped `endChar` and moves past it; false when the
// line ends first. "\x" takes up to four hex digits (one UTF-16 unit), "\0".."\7" up to three octal
// digits; any other escaped character stands for itself ("\\", "\"", "\]").
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

// Names compare the way the registry compares them: without regard to the case of ASCII and Latin-1
// letters.
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

// Comma-separated hex bytes; a line ending in a backslash continues on the next one.
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

// The data after "=", in the forms Wine writes: "…", str:"…", str(2):"…", str(7):"…", dword:…, hex:…
// and hex(N):….
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

// Whether `text` holds `upperNeedle` (ASCII, upper case) with ASCII letter case ignored.
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

bool startsWith(const std::vector<std::string>& path, const std::vector<std::string>& prefix) {
    return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

// Scans the whole file as Wine loads it: a later line for the same value replaces an earlier one, and
// a malformed line changes nothing. The key as given wins; its Wow6432Node twin counts only when the
// key itself is missing, as a failed open is what sends Windows to the other view.
std::optional<StoredValue> findValue(std::istream& file, const std::string& keyPath,
                                     const std::string& valueName) {
    std::array<Target, 2> targets;
    targets[0].used = true;
    targets[0].path = keyComponents(cp1252ToUtf8(keyPath));
    targets[0].keyFound = targets[0].path.empty(); // the root always exists
    if (!targets[0].path.empty() && targets[0].path[0] == "SOFTWARE" &&
        (targets[0].path.size() < 2 || targets[0].path[1] != "WOW6432NODE")) {
        targets[1].used = true;
        targets[1].path = targets[0].path;
        targets[1].path.insert(targets[1].path.begin() + 1, "WOW6432NODE");
    }
    const std::string wantedName = foldName(cp1252ToUtf8(valueName));
    std::string needle;
    if (!targets[0].path.empty() &&
        std::all_of(targets[0].path.back().begin(), targets[0].path.back().end(),
                    [](char c) { return c >= ' ' && c <= '~' && c != '\\' && c != '"' && c != ']'; }))
        needle = targets[0].path.back();

    std::streambuf& in = *file.rdbuf();
    std::string line;
    bool overlong = false;
    if (!readLine(in, line, overlong) || !line.starts_with("WINE REGISTRY Version 2"))
        return std::nullopt;

    Target* current = nullptr;    // the wanted key whose values the lines below hold
    Target* continuing = nullptr; // the wanted value whose hex data go on in the next line
    StoredValue pending;
    bool reread = false;
    while (reread || readLine(in, line, overlong)) {
        reread = false;
        const std::string_view s = line;
        if (continuing != nullptr) {
            Target* target = std::exchange(continuing, nullptr);
            if (overlong) {
                pending.tooLong = true;
                target->value = std::exchange(pending, {});
                continue;
            }
            switch (parseHexBytes(s, 0, pending)) {
            case Parse::Done:
                target->value = std::exchange(pending, {});
                break;
            case Parse::Continues:
                continuing = target;
                break;
            case Parse::Malformed:
                // The broken value is dropped; the line may well start something else.
                reread = true;
                break;
            }
            continue;
        }

        std::size_t pos = 0;
        skipSpaces(s, pos);
        if (pos == s.size())
            continue;
        if (s[pos] == '[') {
            current = nullptr;
            // Most key lines are of other keys: one without the wanted key's last name in it, and without
            // escapes that could spell it, is passed over without being decoded.
            if (!needle.empty() && s.find("\\x") == std::string_view::npos && !containsFolded(s, needle))
                continue;
            ++pos;
            std::u16string name;
            if (overlong || !parseEscaped(s, pos, ']', name))
                continue;
            const std::vector<std::string> components = keyComponents(utf16ToUtf8(name));
            for (Target& target : targets) {
                // A key line also makes every key above it exist.
                if (target.used && startsWith(components, target.path)) {
                    target.keyFound = true;
                    if (components.size() == target.path.size())
                        current = &target;
                }
            }
            continue;
        }
        if ((s[pos] != '"' && s[pos] != '@') || current == nullptr)
            continue; // options ("#time="), comments, values of other keys, malformed lines
        std::u16string name;
        if (s[pos++] == '"' && !parseEscaped(s, pos, '"', name))
            continue;
        if (foldName(utf16ToUtf8(name)) != wantedName)
            continue;
        if (overlong) {
            current->value = StoredValue{0, {}, true};
            continue;
        }
        skipSpaces(s, pos);
        if (pos == s.size() || s[pos] != '=')
            continue;
        ++pos;
        skipSpaces(s, pos);
        StoredValue value;
        switch (parseData(s, pos, value)) {
        case Parse::Done:
            current->value = std::move(value);
            break;
        case Parse::Continues:
            pending = std::move(value);
            continuing = current;
            break;
        case Parse::Malformed:
            break;
        }
    }
    for (const Target& target : targets)
        if (target.used && target.keyFound)
            return target.value;
    return std::nullopt;
}

// What the ANSI query gives for a string type: one byte per UTF-16 unit, '?' where the code page has no
// character (each half of a surrogate pair included).
std::string ansiFromUtf16Le(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto unit = static_cast<char16_t>(endian::loadU16(endian::asBytes(bytes.data(), bytes.size()), i));
        if (unit >= 0xD800 && unit <= 0xDFFF)
            unit = u'?';
        units += unit;
    }
    return utf8ToCp1252(utf16ToUtf8(units));
}

#ifdef _WIN32
HKEY rootHandle(std::uint32_t root) {
    // Predefined keys are their 32-bit numbers sign-extended to a handle.
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
}
#endif

} // namespace

fs::path winePrefix() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0')
        return fs::path(prefix);
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return fs::path(home) / ".wine";
    return {};
}

bool readWineRegistryValue(const fs::path& regFile, const std::string& keyPath, const std::string& valueName,
                           std::string& result) {
    // Launcher prefixes are asked one after the other, so a miss must stay cheap: only a regular file of
    // a size Wine writes is read, never a pipe or a device that could block.
    std::error_code ec;
    const bool readable =
        fs::is_regular_file(regFile, ec) && fs::file_size(regFile, ec) <= kMaxRegistryFile && !ec;
    std::ifstream file;
    if (readable)
        file.open(regFile, std::ios::binary);
    if (!file.is_open()) {
        result.clear();
        return false;
    }
    return readWineRegistryValue(file, keyPath, valueName, result);
}

bool readWineRegistryValue(std::istream& regFile, const std::string& keyPath, const std::string& valueName,
                           std::string& result) {
    std::optional<StoredValue> value;
    try {
        if (regFile)
            value = findValue(regFile, keyPath, valueName);
    } catch (const std::ios_base::failure&) {
        // A file that cannot be read to its end (a folder, a failing disk) holds nothing we trust.
        value.reset();
    }
    if (!value || value->tooLong) {
        result.clear();
        return false;
    }
    const bool text = value->type == kString || value->type == kExpandString || value->type == kMultiString;
    return takeValue(value->type, text ? ansiFromUtf16Le(value->data) : value->data, result);
}

#ifdef _WIN32

bool readregvalue(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                  std::string& result) {
    const HKEY rootKey = rootHandle(root);
    HKEY key = nullptr;
    // Read rights only, so a user who may not change the key still reads it. A 64-bit build looks in the
    // 32-bit view too, where the game's 32-bit installer wrote.
    LONG status = RegOpenKeyExA(rootKey, keyPath.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        status = RegOpenKeyExA(rootKey, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key);
    bool ok = false;
    if (status == ERROR_SUCCESS) {
        std::array<BYTE, kBufferSize> buffer{};
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(buffer.size());
        if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer.data(), &size) == ERROR_SUCCESS) {
            const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()),
                                         std::min<std::size_t>(size, buffer.size()));
            ok = takeValue(type, bytes, result);
        }
        RegCloseKey(key);
    }
    if (!ok)
        result.clear();
    return ok;
}

#else

bool readregvalue(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                  std::string& result) {
    const fs::path prefix = winePrefix();
    const char* file = root == kHkeyLocalMachine  ? "system.reg"
                       : root == kHkeyCurrentUser ? "user.reg"
                                                  : nullptr;
    if (prefix.empty() || file == nullptr) {
        result.clear();
        return false;
    }
    return readWineRegistryValue(prefix / file, keyPath, valueName, result);
}

#endif

} // namespace qm
