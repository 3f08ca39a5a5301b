#include "Catalogue.h"

#include "ByteReader.h"
#include "Existence.h"
#include "HostPath.h"
#include "Records.h"
#include "Text.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

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

CatalogueShape inspectCatalogue(const std::string& BGpath) {
    CatalogueShape shape;
    bool found = false;
    const auto path = HostPaths().map(BGpath + "chitin.key", &found);
    std::error_code ec;
    if (!found || !std::filesystem::is_regular_file(path, ec))
        return shape;
    shape.found = true;
    ByteReader key(path, ByteReader::kRandomAccessBuffer);
    // Header: BifCount at 8, ResourceCount at 12, ResourceTableOffset at 20; the archive table at 24.
    key.seek(static_cast<std::int64_t>(kKeyArchiveCountOffset));
    shape.archiveCount = static_cast<std::uint32_t>(key.readI32());
    shape.resourceCount = static_cast<std::uint32_t>(key.readI32());
    key.readI32();
    const std::int64_t resourceTable = static_cast<std::uint32_t>(key.readI32());
    shape.headerWhole = !key.ranShort();
    const std::int64_t length = key.length();
    constexpr std::int64_t kHeaderSize = 24;
    shape.archivesHeld = static_cast<std::uint64_t>(std::max<std::int64_t>(length - kHeaderSize, 0) / 12);
    if (resourceTable <= length)
        shape.resourcesHeld = static_cast<std::uint64_t>((length - resourceTable) / kResourceEntrySize);
    return shape;
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
