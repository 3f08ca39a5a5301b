#include "Endian.h"
#include "Registry.h"
#include "Text.h"
#include "WholeFile.h"
#include "WineRegistryParser.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace qm {

namespace fs = std::filesystem;

using namespace registry;

namespace {

// A prefix's system.reg is a few MB; anything far larger is no registry Wine wrote.
constexpr std::uintmax_t kMaxRegistryFile = std::uintmax_t{64} << 20;

struct Target {
    bool used = false;
    std::vector<std::string> path; // folded components
    bool keyFound = false;
    std::optional<StoredValue> value;
};

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
    std::optional<std::string> text = readSmallFile(regFile, kMaxRegistryFile);
    if (!text) {
        result.clear();
        return false;
    }
    std::istringstream file(std::move(*text));
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

} // namespace qm
