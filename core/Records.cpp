#include "Records.h"

#include "Endian.h"

#include <algorithm>

namespace qm {

std::string resRefName(std::span<const std::uint8_t, 8> resRef) {
    std::string name;
    for (const std::uint8_t b : resRef)
        if (b != 0)
            name += static_cast<char>(b);
    return name;
}

std::int32_t seekResourceTable(ByteReader& key) {
    key.seek(static_cast<std::int64_t>(kKeyResourceTableOffsetOffset));
    const std::int32_t offset = key.readI32();
    key.seek(offset);
    return offset;
}

ArchiveNameBlock::ArchiveNameBlock(ByteReader& key) {
    // A name starts at a positive 16-bit position and holds fewer than 32767 bytes.
    m_head.resize(static_cast<std::size_t>(std::min<std::int64_t>(key.length(), 1 << 16)));
    key.seek(0);
    m_head.resize(key.read(m_head));
    // Past the end reads as zero, as a short read does.
    const auto i16 = [this](std::int64_t offset) {
        return endian::loadI16(m_head, static_cast<std::size_t>(offset));
    };
    const auto* text = reinterpret_cast<const char*>(m_head.data());
    for (int k = 0; k < kArchiveEntriesRead; ++k) {
        const std::int64_t field = kArchiveTableOffset + kArchiveEntrySize * k + kArchiveNameOffsetField;
        const std::int16_t nameOffset = i16(field); // the high half at field + 2 is not used
        const std::int16_t nameLength = i16(field + 4);
        std::string_view name;
        // The name is read from five bytes past NameOffset (behind "data\"), at a place whose 1-based
        // number must stay a positive 16-bit number: 0-based offsets 0 to 32766.
        const std::int64_t from = std::int64_t{nameOffset} + 5;
        if (nameLength > 6 && from >= 0 && from < INT16_MAX && from < key.length()) {
            const std::int64_t to =
                std::min<std::int64_t>(from + nameLength - 6, static_cast<std::int64_t>(m_head.size()));
            if (to > from)
                name = std::string_view(text + from, static_cast<std::size_t>(to - from));
        }
        if (name.size() >= 2 && name[0] == 's' && name[1] == '\\')
            name.remove_prefix(2);
        m_names[static_cast<std::size_t>(k)] = name;
    }
}

std::vector<KeyResourceRecord> readResourceTable(ByteReader& key) {
    key.seek(static_cast<std::int64_t>(kKeyResourceCountOffset));
    const auto count = static_cast<std::uint32_t>(key.readI32());
    const std::int32_t offset = seekResourceTable(key);
    const std::int64_t available = std::min<std::int64_t>(
        std::clamp<std::int64_t>(key.length() - offset, 0, kMaxResourceTableBytes) / kResourceEntrySize,
        count);
    std::vector<KeyResourceRecord> records;
    records.reserve(static_cast<std::size_t>(available));
    constexpr std::size_t kBlockEntries = 4096;
    std::vector<std::byte> block(
        static_cast<std::size_t>(std::min<std::int64_t>(kBlockEntries, available) * kResourceEntrySize));
    while (static_cast<std::int64_t>(records.size()) < available) {
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(kBlockEntries, available - static_cast<std::int64_t>(records.size())));
        const std::size_t got = key.read(std::span(block.data(), want * kResourceEntrySize)) /
                                static_cast<std::size_t>(kResourceEntrySize);
        for (std::size_t e = 0; e < got; ++e) {
            const std::span<const std::byte> raw(block.data() + e * kResourceEntrySize, kResourceEntrySize);
            const auto i16 = [raw](std::size_t at) { return endian::loadI16(raw, at); };
            KeyResourceRecord& r = records.emplace_back();
            for (std::size_t i = 0; i < 8; ++i)
                r.resRef[i] = std::to_integer<std::uint8_t>(raw[i]);
            r.resourceType = i16(8);
            r.locatorLow = i16(10);
            r.locatorHigh = i16(12);
        }
        if (got < want)
            break; // the file shrank meanwhile
    }
    return records;
}

std::int32_t readFileEntryCount(ByteReader& bif) {
    bif.seek(kFileEntryCountOffset);
    return bif.readI32();
}

BifFileEntry readFileEntry(ByteReader& bif) {
    std::array<std::byte, 14> raw{};
    bif.read(raw);
    return fileEntryFrom(raw);
}

BifFileEntry fileEntryFrom(std::span<const std::byte> raw) {
    BifFileEntry entry;
    entry.locatorLow = endian::loadI16(raw, 0);
    entry.locatorHigh = endian::loadI16(raw, 2);
    entry.dataOffset = endian::loadI32(raw, 4);
    entry.dataSize = endian::loadI32(raw, 8);
    entry.resourceType = endian::loadI16(raw, 12);
    return entry;
}

std::span<const std::byte> FileTableBlocks::entry(std::int64_t i, std::size_t need) {
    const std::int64_t start = kFileTableOffset + kFileEntrySize * i;
    if (i < 0 || start + static_cast<std::int64_t>(need) > m_bif.length())
        return {};
    if (m_first < 0 || i < m_first ||
        (i - m_first) * kFileEntrySize + static_cast<std::int64_t>(need) >
            static_cast<std::int64_t>(m_held)) {
        m_block.resize(
            static_cast<std::size_t>(std::min(kBlockEntries * kFileEntrySize, m_bif.length() - start)));
        m_bif.seek(start);
        m_held = m_bif.read(m_block);
        m_first = i;
    }
    const auto at = static_cast<std::size_t>((i - m_first) * kFileEntrySize);
    if (at + need > m_held) // the archive shrank meanwhile
        return {};
    return std::span<const std::byte>(m_block).subspan(at, need);
}

DataBounds readDataBounds(ByteReader& bif, std::int64_t index) {
    bif.seek(kFileTableOffset + kFileEntrySize * index + kDataOffsetField);
    DataBounds bounds;
    bounds.dataOffset = bif.readI32();
    bounds.dataSize = bif.readI32();
    return bounds;
}

} // namespace qm
