#include "Catalogue.h"

#include "ByteReader.h"
#include "Existence.h"
#include "HostPath.h"
#include "Records.h"
#include "Text.h"

#include <algorithm>
#include <array>

namespace qm {

namespace {

constexpr int kArchiveEntriesRead = 141;
constexpr std::array<std::string_view, 4> kSupported = {"CREATURE.BIF", "ITEMS.BIF", "SPELLS.BIF",
                                                        "CHASOUND.BIF"};

} // namespace

std::vector<std::string> listbifs(const std::string& BGpath) {
    std::vector<std::string> names;
    const std::string keyPath = BGpath + "chitin.key";
    if (!fileexist(keyPath))
        return names;
    ByteReader key(hostPath(keyPath), ByteReader::kRandomAccessBuffer);
    for (int k = 0; k < kArchiveEntriesRead; ++k) {
        const KeyArchiveEntry entry = readArchiveEntry(key, k);
        // The stored name starts with its folder, "data\" or "movies\": five characters are skipped, and a
        // remaining "s\" of "movies\" goes below. The last byte is the terminator.
        const auto start = static_cast<std::int16_t>(entry.nameOffset + 6);
        std::string name;
        if (entry.nameLength > 6) {
            // Names at offsets that the 16-bit position cannot reach are not listed.
            if (start < 1 || start > key.length())
                continue;
            key.seek(start);
            name.resize(static_cast<std::size_t>(entry.nameLength - 6));
            name.resize(key.read(std::as_writable_bytes(std::span(name.data(), name.size()))));
        }
        if (name.size() >= 2 && name[0] == 's' && name[1] == '\\')
            name.erase(0, 2);
        const std::string upper = asciiUpper(name);
        if (std::find(kSupported.begin(), kSupported.end(), upper) != kSupported.end())
            names.push_back(name);
    }
    return names;
}

void sortArchiveNames(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return asciiUpper(a) < asciiUpper(b);
    });
}

} // namespace qm
