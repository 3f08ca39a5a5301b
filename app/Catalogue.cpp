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
    for (std::string& name : readArchiveNames(key))
        if (std::find(kSupported.begin(), kSupported.end(), asciiUpper(name)) != kSupported.end())
            names.push_back(std::move(name));
    return names;
}

void sortArchiveNames(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return asciiUpper(a) < asciiUpper(b);
    });
}

} // namespace qm
