#include "Endian.h"
#include "Interrupt.h"
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

// Lines read between two looks at a stop request: a 60 MB file has about a million.
constexpr unsigned kLinesBetweenStopChecks = 4096;

// One key that a query looks in, with the value it wants there.
struct Target {
    bool used = false;
    std::vector<std::string> path; // folded components
    std::string name;              // the value's folded name
    bool keyFound = false;
    std::optional<StoredValue> value;
};

bool startsWith(const std::vector<std::string>& path, const std::vector<std::string>& prefix) {
    return path.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

// Scans the whole file once for every query, as Wine loads it: a later line for the same value replaces an
// earlier one, and a malformed line changes nothing. Each query's key as given wins; its Wow6432Node twin
// counts only when the key itself is missing, as a failed open is what sends Windows to the other view.
std::vector<std::optional<StoredValue>> findValues(std::istream& file,
                                                   const std::vector<RegistryQuery>& queries) {
    // Targets 2q and 2q + 1 are query q's key and its Wow6432Node twin, when it has one.
    std::vector<Target> targets(2 * queries.size());
    std::vector<std::string> needles;
    bool filterKeys = true;
    for (std::size_t q = 0; q < queries.size(); ++q) {
        Target& key = targets[2 * q];
        key.used = true;
        key.path = keyComponents(cp1252ToUtf8(queries[q].keyPath));
        key.name = foldName(cp1252ToUtf8(queries[q].valueName));
        key.keyFound = key.path.empty(); // the root always exists
        if (!key.path.empty() && key.path[0] == "SOFTWARE" &&
            (key.path.size() < 2 || key.path[1] != "WOW6432NODE")) {
            Target& twin = targets[2 * q + 1];
            twin.used = true;
            twin.path = key.path;
            twin.path.insert(twin.path.begin() + 1, "WOW6432NODE");
            twin.name = key.name;
        }
        // Most key lines are of other keys: one that holds none of the wanted keys' last names, and no
        // escapes that could spell one, is passed over without being decoded.
        if (key.path.empty() || !std::all_of(key.path.back().begin(), key.path.back().end(), [](char c) {
                return c >= ' ' && c <= '~' && c != '\\' && c != '"' && c != ']';
            }))
            filterKeys = false;
        else
            needles.push_back(key.path.back());
    }

    std::streambuf& in = *file.rdbuf();
    std::string line;
    bool overlong = false;
    if (!readLine(in, line, overlong) || !line.starts_with("WINE REGISTRY Version 2"))
        return std::vector<std::optional<StoredValue>>(queries.size());

    std::vector<Target*> current;    // the wanted keys whose values the lines below hold
    std::vector<Target*> continuing; // the wanted values whose hex data go on in the next line
    StoredValue pending;
    bool reread = false;
    unsigned sinceStopCheck = 0;
    while (reread || readLine(in, line, overlong)) {
        reread = false;
        if (++sinceStopCheck == kLinesBetweenStopChecks) {
            sinceStopCheck = 0;
            stopIfRequested();
        }
        const std::string_view s = line;
        if (!continuing.empty()) {
            const std::vector<Target*> targetsOfLine = std::exchange(continuing, {});
            const auto give = [&targetsOfLine, &pending] {
                for (Target* target : targetsOfLine)
                    target->value = pending;
                pending = {};
            };
            if (overlong) {
                pending.tooLong = true;
                give();
                continue;
            }
            switch (parseHexBytes(s, 0, pending)) {
            case Parse::Done:
                give();
                break;
            case Parse::Continues:
                continuing = targetsOfLine;
                break;
            case Parse::Malformed:
                // The broken value is dropped; the line may well start something else.
                pending = {};
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
            current.clear();
            if (filterKeys && s.find("\\x") == std::string_view::npos &&
                std::none_of(needles.begin(), needles.end(),
                             [s](const std::string& needle) { return containsFolded(s, needle); }))
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
                        current.push_back(&target);
                }
            }
            continue;
        }
        if ((s[pos] != '"' && s[pos] != '@') || current.empty())
            continue; // options ("#time="), comments, values of other keys, malformed lines
        std::u16string name;
        if (s[pos++] == '"' && !parseEscaped(s, pos, '"', name))
            continue;
        const std::string folded = foldName(utf16ToUtf8(name));
        std::vector<Target*> wanted;
        for (Target* target : current)
            if (target->name == folded)
                wanted.push_back(target);
        if (wanted.empty())
            continue;
        if (overlong) {
            for (Target* target : wanted)
                target->value = StoredValue{0, {}, true};
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
            for (Target* target : wanted)
                target->value = value;
            break;
        case Parse::Continues:
            pending = std::move(value);
            continuing = std::move(wanted);
            break;
        case Parse::Malformed:
            break;
        }
    }
    std::vector<std::optional<StoredValue>> values(queries.size());
    for (std::size_t q = 0; q < queries.size(); ++q)
        for (const Target* target : {&targets[2 * q], &targets[2 * q + 1]})
            if (target->used && target->keyFound) {
                values[q] = target->value;
                break;
            }
    return values;
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

namespace {

// Launcher prefixes are asked one after the other, so a miss must stay cheap: only a regular file of a
// size Wine writes is read, never a pipe or a device that could block.
std::optional<std::istringstream> openRegistryFile(const fs::path& regFile) {
    std::optional<std::string> text = readSmallFile(regFile, kMaxRegistryFile);
    if (!text)
        return std::nullopt;
    return std::istringstream(std::move(*text));
}

std::vector<std::optional<StoredValue>> readValues(std::istream& regFile,
                                                   const std::vector<RegistryQuery>& queries) {
    try {
        if (regFile)
            return findValues(regFile, queries);
    } catch (const std::ios_base::failure&) {
        // A file that cannot be read to its end (a folder, a failing disk) holds nothing we trust.
    }
    return std::vector<std::optional<StoredValue>>(queries.size());
}

bool takeStoredValue(const std::optional<StoredValue>& value, std::string& result) {
    if (!value || value->tooLong) {
        result.clear();
        return false;
    }
    const bool text = value->type == kString || value->type == kExpandString || value->type == kMultiString;
    return takeValue(value->type, text ? ansiFromUtf16Le(value->data) : value->data, result);
}

} // namespace

bool readWineRegistryValue(const fs::path& regFile, const std::string& keyPath, const std::string& valueName,
                           std::string& result) {
    std::optional<std::istringstream> file = openRegistryFile(regFile);
    if (!file) {
        result.clear();
        return false;
    }
    return readWineRegistryValue(*file, keyPath, valueName, result);
}

bool readWineRegistryValue(std::istream& regFile, const std::string& keyPath, const std::string& valueName,
                           std::string& result) {
    return takeStoredValue(readValues(regFile, {{keyPath, valueName}}).front(), result);
}

std::vector<std::string> readWineRegistryTexts(const fs::path& regFile,
                                               const std::vector<RegistryQuery>& queries) {
    std::vector<std::string> texts(queries.size());
    std::optional<std::istringstream> file = openRegistryFile(regFile);
    if (!file)
        return texts;
    const std::vector<std::optional<StoredValue>> values = readValues(*file, queries);
    for (std::size_t q = 0; q < queries.size(); ++q)
        takeStoredValue(values[q], texts[q]);
    return texts;
}

} // namespace qm
