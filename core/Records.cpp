#include "Records.h"

namespace qm {

std::string resRefName(std::span<const std::uint8_t, 8> resRef) {
    std::string name;
    for (const std::uint8_t b : resRef)
        if (b != 0)
            name += static_cast<char>(b);
    return name;
}

std::int32_t seekResourceTable(ByteReader& key) {
    key.seek(kResourceTableOffsetPosition);
    const std::int32_t offset = key.readI32();
    key.seek(static_cast<std::int64_t>(offset) + 1);
    return offset;
}

KeyResourceEntry readResourceEntry(ByteReader& key) {
    std::array<std::byte, kResourceEntrySize> raw{};
    key.read(raw);
    std::array<std::uint8_t, 8> resRef{};
    for (std::size_t i = 0; i < 8; ++i)
        resRef[i] = std::to_integer<std::uint8_t>(raw[i]);
    const auto i16 = [&raw](std::size_t at) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(
            std::to_integer<unsigned>(raw[at]) | (std::to_integer<unsigned>(raw[at + 1]) << 8)));
    };
    KeyResourceEntry entry;
    entry.name = resRefName(resRef);
    entry.resourceType = i16(8);
    entry.locatorLow = i16(10);
    entry.locatorHigh = i16(12);
    return entry;
}

KeyArchiveEntry readArchiveEntry(ByteReader& key, int k) {
    key.seek(kArchiveTablePosition + kArchiveEntrySize * k + 4);
    KeyArchiveEntry entry;
    entry.nameOffset = key.readI16();
    key.readI16(); // high half of NameOffset: read and discarded
    entry.nameLength = key.readI16();
    return entry;
}

std::int32_t readFileEntryCount(ByteReader& bif) {
    bif.seek(kFileEntryCountPosition);
    return bif.readI32();
}

BifFileEntry readFileEntry(ByteReader& bif) {
    BifFileEntry entry;
    entry.locatorLow = bif.readI16();
    entry.locatorHigh = bif.readI16();
    entry.dataOffset = bif.readI32();
    entry.dataSize = bif.readI32();
    entry.resourceType = bif.readI16();
    return entry;
}

DataBounds readDataBounds(ByteReader& bif, std::int64_t index) {
    bif.seek(kFileTablePosition + kFileEntrySize * index + 4);
    DataBounds bounds;
    bounds.dataOffset = bif.readI32();
    bounds.dataSize = bif.readI32();
    return bounds;
}

} // namespace qm
