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

constexpr std::array<std::string_view, 4> kSupported = {"CREATURE.BIF", "ITEMS.BIF", "SPELLS.BIF",
                                                        "CHASOUND.BIF"};

} // namespace

std::vector<std::string> listbifs(const std::string& BGpath) {
    std::vector<std::string> names;
    const std::string keyPath = BGpath + "chitin.key";
    if (!fileexist(keyPath))
        return names;
    ByteReader key(hostPath(keyPath), ByteReader::kRandomAccessBuffer);
    return listbifs(key);
}

std::vector<std::string> listbifs(ByteReader& key) {
    std::vector<std::string> names;
    const ArchiveNameBlock block(key);
    for (int k = 0; k < kArchiveEntriesRead; ++k) {
        const std::string_view name = block.name(k);
        if (std::any_of(kSupported.begin(), kSupported.end(),
                        [name](std::string_view supported) { return equalsIgnoreCase(name, supported); }))
            names.emplace_back(name);
    }
    return names;
}

void sortArchiveNames(std::vector<std::string>& names) {
    // Bytes compare unsigned, as std::string does.
    const auto less = [](char x, char y) {
        return static_cast<unsigned char>(upperAscii(x)) < static_cast<unsigned char>(upperAscii(y));
    };
    std::stable_sort(names.begin(), names.end(), [&less](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less);
    });
}

} // namespace qm
